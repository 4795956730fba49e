#include "platform/ado/erros.h"

#include "platform/ado/ado.h"

namespace ado {

Error::Error(long number, QString description, QString nativeDescription)
    : number_(number),
      description_(std::move(description)),
      native_(nativeDescription.isEmpty() ? description_ : std::move(nativeDescription)),
      what_((QString::number(number) + QLatin1String(": ") + native_).toUtf8()) {}

namespace detail {

namespace {

struct Entrada {
  long numero;
  const char* texto;  // UTF-8
};

// In the order of Falha. The numbers of the failures a user can meet are
// SQLite's result codes: 1 error, 5 busy, 7 no memory, 8 read-only, 10 I/O,
// 11 corrupt, 13 full, 14 cannot open, 19 constraint (1299 Not Null,
// 2067 unique), 20 type mismatch, 26 not a database.
constexpr Entrada kCatalogo[] = {
    {adErrObjectClosed, "Operation is not allowed when the object is closed."},
    {adErrObjectOpen, "Operation is not allowed when the object is open."},
    {adErrNoCurrentRecord, "Either BOF or EOF is True, or the current record has been deleted."},
    {adErrItemNotFound, "Item cannot be found in the collection corresponding to the requested name or ordinal."},
    {adErrInvalidArgument, "The command text holds no statement."},
    {adErrStatementRefused, "The command text holds more than one statement; nothing was run."},
    {adErrStatementRefused, "The statement holds a NUL character and was not run."},
    {adErrInvalidArgument, "The source is not a query that returns rows."},
    {adErrInvalidArgument,
     "A scrollable recordset needs \"Select <columns> From <table> [Where ...] [Order By <columns>]\": %1"},
    {adErrInvalidArgument, "Find needs a criterion of the form Column = 'value': %1"},
    {adErrNotSupported, "%1 is not supported by a forward-only recordset."},
    {adErrInvalidArgument, "Invalid connection string: %1"},
    {adErrInvalidArgument, "The connection string names no Data Source."},
    {adErrProviderNotFound, "Provider cannot be found. It may not be properly installed: %1"},
    {14, "Não foi possível abrir o arquivo de banco de dados"},
    {14, "O arquivo de banco de dados não foi encontrado: %1"},
    {8, "A pasta do banco de dados não permite gravação: %1"},
    {26, "O arquivo não é um banco de dados"},
    {14, "Não foi possível passar o banco de dados ao modo WAL"},
    {5, "O banco de dados está bloqueado por outro programa"},
    {8, "O banco de dados não permite gravação (somente leitura)"},
    {8, "O banco de dados não permite esta operação a este usuário"},
    {13, "O disco está cheio"},
    {13, "O servidor de banco de dados está sem espaço ou sem recursos"},
    {10, "Erro de leitura ou gravação no banco de dados"},
    {11, "O banco de dados está danificado"},
    {7, "Memória insuficiente"},
    {adErrDuplicateKey, "Valor repetido numa coluna que não aceita repetição (%1)"},
    {1299, "Coluna obrigatória sem valor (%1)"},
    {19, "O banco de dados recusou o valor (%1)"},
    {20, "O banco de dados recusou o valor (%1)"},
    {1, "A tabela %1 não existe no banco de dados"},
    {1, "A coluna %1 não existe"},
    {1, "A tabela %1 não tem a coluna %2"},
    {1, "Erro de sintaxe perto de %1"},
    {1, "Erro de sintaxe: %1"},
    {1, "Texto não reconhecido na instrução: %1"},
    {1, "Instrução incompleta"},
    {1, "O texto da busca é longo demais"},
    {adErrConnectionLost, "Não foi possível conectar ao servidor de banco de dados (%1)"},
    {adErrConnectionLost,
     "A conexão com o servidor de banco de dados foi perdida; o próximo comando tentará conectar de novo"},
    {adErrServerSettings, "O servidor de banco de dados precisa de standard_conforming_strings = on"},
    {1, "%1"},
};
static_assert(std::size(kCatalogo) == size_t(Falha::Outra) + 1, "one entry per failure");

}  // namespace

QString Texto(Falha f, const QStringList& args) {
  const QString t = QString::fromUtf8(kCatalogo[size_t(f)].texto);
  // In one pass, so that a "%2" inside the first argument stays as it is.
  switch (args.size()) {
    case 0: return t;
    case 1: return t.arg(args[0]);
    default: return t.arg(args[0], args[1]);
  }
}

long Numero(Falha f) { return kCatalogo[size_t(f)].numero; }

void Lanca(Falha f, const QStringList& args, const QString& native, long number, const QString& context) {
  QString desc = Texto(f, args);
  QString nat = native.isEmpty() ? desc : native;
  if (!context.isEmpty()) {
    desc += QLatin1String(": ") + context;
    nat += QLatin1String(": ") + context;
  }
  throw Error(number ? number : Numero(f), desc, nat);
}

}  // namespace detail
}  // namespace ado
