-- Table Clientes on a PostgreSQL server (15 or later), shared by several
-- desks. Run once by the administrator, as the table's owner:
--   psql "service=ulmaro" -v ON_ERROR_STOP=1 -f schema-pg.sql
-- The database must use a UTF-8 locale other than C (C.UTF-8, pt_BR.UTF-8),
-- so that case folding knows every letter, not only the ASCII ones.
--
-- Text columns are citext: "=", Like and the unique key ignore letter case,
-- as COLLATE NOCASE does on the file. rowid orders clients registered in the
-- same millisecond and is what the program remembers of a row.
CREATE EXTENSION IF NOT EXISTS citext;

CREATE TABLE Clientes (
  rowid        bigint       GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  CPFCod       citext       NOT NULL,
  Nome         citext       NOT NULL,
  Sexo         citext       NOT NULL,
  Hobby        citext,
  CEP          citext       NOT NULL,
  Endereco     citext       NOT NULL,
  Num          bigint       NOT NULL,
  Complemento  citext,
  Bairro       citext,
  Cidade       citext       NOT NULL,
  UF           citext       NOT NULL,
  DDD          bigint       NOT NULL,
  Fone         citext       NOT NULL,
  Email        citext,
  Obs          citext,
  -- Moment of registration, UTC to the millisecond, by the server's clock.
  DataCadastro timestamp(3) NOT NULL DEFAULT (clock_timestamp() AT TIME ZONE 'UTC'),
  CONSTRAINT clientes_cpfcod_key UNIQUE (CPFCod)
);

CREATE INDEX ixClientesDataCadastro ON Clientes (DataCadastro, rowid);

-- Every statement that changes the table tells the other desks, so that
-- their counts are taken afresh at their next refresh.
CREATE FUNCTION clientes_mudou() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
  PERFORM pg_notify('vt_mudou', TG_TABLE_NAME);
  RETURN NULL;
END
$$;

CREATE TRIGGER clientes_mudou AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON Clientes
  FOR EACH STATEMENT EXECUTE FUNCTION clientes_mudou();
