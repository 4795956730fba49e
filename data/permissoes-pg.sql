-- What the desks may do to table Clientes on the server: read and delete
-- clients, and write only the columns the program's own statements write.
-- DataCadastro and rowid are the server's: a desk can neither set nor change
-- them. Run by the table's owner after schema-pg.sql, naming the role the
-- desks log in as; running it again (e.g. over the broader grant of an older
-- set-up) leaves exactly these grants:
--   psql "service=ulmaro" -v ON_ERROR_STOP=1 -v balcao=balcao -f permissoes-pg.sql
REVOKE ALL ON Clientes FROM :"balcao";
GRANT SELECT, DELETE ON Clientes TO :"balcao";
GRANT INSERT (CPFCod, Nome, Sexo, Hobby, CEP, Endereco, Num, Complemento, Bairro, Cidade, UF, DDD, Fone, Email, Obs)
  ON Clientes TO :"balcao";
GRANT UPDATE (Nome, Sexo, Hobby, CEP, Endereco, Num, Complemento, Bairro, Cidade, UF, DDD, Fone, Email, Obs)
  ON Clientes TO :"balcao";
