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

-- Every statement that changes the table tells the other desks, with the
-- change in the row count it made and its transaction, so that a desk can add
-- that change to a count that did not see it yet instead of counting the
-- table again. The statement's number within the transaction keeps two equal
-- notifications of one transaction from being merged into one. TRUNCATE
-- tells no change: the desks count afresh.
CREATE FUNCTION clientes_mudou() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE
  n bigint := coalesce(nullif(current_setting('vt.avisos', true), ''), '0')::bigint + 1;
  delta bigint := 0;
BEGIN
  IF TG_OP = 'TRUNCATE' THEN
    PERFORM pg_notify('vt_mudou', TG_TABLE_NAME);
    RETURN NULL;
  ELSIF TG_OP = 'INSERT' THEN
    SELECT count(*) INTO delta FROM novas;
  ELSIF TG_OP = 'DELETE' THEN
    SELECT -count(*) INTO delta FROM velhas;
  END IF;
  PERFORM set_config('vt.avisos', n::text, true);
  PERFORM pg_notify('vt_mudou', format('%s %s %s %s', TG_TABLE_NAME, delta, pg_current_xact_id(), n));
  RETURN NULL;
END
$$;

CREATE TRIGGER clientes_inseriu AFTER INSERT ON Clientes REFERENCING NEW TABLE AS novas
  FOR EACH STATEMENT EXECUTE FUNCTION clientes_mudou();
CREATE TRIGGER clientes_apagou AFTER DELETE ON Clientes REFERENCING OLD TABLE AS velhas
  FOR EACH STATEMENT EXECUTE FUNCTION clientes_mudou();
CREATE TRIGGER clientes_mudou AFTER UPDATE OR TRUNCATE ON Clientes
  FOR EACH STATEMENT EXECUTE FUNCTION clientes_mudou();
