-- Table Clientes of ulmaro.mdb. Text compares ignore ASCII letter case
-- (COLLATE NOCASE); WAL lets a recordset read a stable snapshot while the
-- connection writes.
PRAGMA journal_mode=WAL;

CREATE TABLE Clientes (
  CPFCod       TEXT    NOT NULL COLLATE NOCASE UNIQUE,
  Nome         TEXT    NOT NULL COLLATE NOCASE,
  Sexo         TEXT    NOT NULL COLLATE NOCASE,
  Hobby        TEXT             COLLATE NOCASE,
  CEP          TEXT    NOT NULL COLLATE NOCASE,
  Endereco     TEXT    NOT NULL COLLATE NOCASE,
  Num          INTEGER NOT NULL,
  Complemento  TEXT             COLLATE NOCASE,
  Bairro       TEXT             COLLATE NOCASE,
  Cidade       TEXT    NOT NULL COLLATE NOCASE,
  UF           TEXT    NOT NULL COLLATE NOCASE,
  DDD          INTEGER NOT NULL,
  Fone         TEXT    NOT NULL COLLATE NOCASE,
  Email        TEXT             COLLATE NOCASE,
  Obs          TEXT             COLLATE NOCASE,
  -- Moment of registration, UTC to the millisecond.
  DataCadastro TEXT    NOT NULL DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now'))
);

CREATE INDEX ixClientesDataCadastro ON Clientes (DataCadastro);
