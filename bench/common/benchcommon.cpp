#include "bench/common/benchcommon.h"

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <string>

namespace vtbench {
namespace {

const char* const kNomesM[] = {"João", "José", "Antônio", "Francisco", "Carlos", "Paulo", "Pedro",
                               "Lucas", "Luiz", "Marcos", "Sebastião", "Gonçalo", "André", "Márcio",
                               "Fábio", "Rogério", "Vinícius", "Otávio", "Luís", "Caio"};
const char* const kNomesF[] = {"Maria", "Ana", "Francisca", "Antônia", "Adriana", "Juliana",
                               "Márcia", "Fernanda", "Patrícia", "Aline", "Conceição", "Inês",
                               "Lúcia", "Flávia", "Cláudia", "Letícia", "Bárbara", "Mônica",
                               "Vitória", "Débora"};
// Never holds kSobrenomeComum or kSobrenomeRaro.
const char* const kSobrenomes[] = {"Santos", "Oliveira", "Souza", "Rodrigues", "Ferreira", "Alves",
                                   "Pereira", "Lima", "Gomes", "Costa", "Ribeiro", "Martins",
                                   "Carvalho", "Araújo", "Simões", "Gonçalves", "Magalhães",
                                   "Assunção", "Brandão", "Falcão", "Nogueira", "Peçanha",
                                   "Damásio", "Loureiro", "Cavalcanti", "Teixeira", "Moraes",
                                   "Barros", "Azevedo", "Guimarães"};
struct Cidade {
  const char* nome;
  const char* uf;
  int ddd;
};
const Cidade kCidades[] = {
    {"São Paulo", "SP", 11},     {"Rio de Janeiro", "RJ", 21}, {"Belo Horizonte", "MG", 31},
    {"Curitiba", "PR", 41},      {"Porto Alegre", "RS", 51},   {"Salvador", "BA", 71},
    {"Recife", "PE", 81},        {"Fortaleza", "CE", 85},      {"Belém", "PA", 91},
    {"Manaus", "AM", 92},        {"Goiânia", "GO", 62},        {"Brasília", "DF", 61},
    {"Florianópolis", "SC", 48}, {"Vitória", "ES", 27},        {"São Luís", "MA", 98},
    {"João Pessoa", "PB", 83},   {"Maceió", "AL", 82},         {"Natal", "RN", 84},
    {"Teresina", "PI", 86},      {"Cuiabá", "MT", 65}};
const char* const kRuas[] = {"Rua das Flores", "Av. Paulista", "Rua São Bento", "Av. Brasil",
                             "Rua XV de Novembro", "Travessa do Comércio", "Rua da Conceição",
                             "Av. Getúlio Vargas", "Rua Sete de Setembro", "Alameda Santos"};
const char* const kBairros[] = {"Centro", "Bela Vista", "Jardim América", "Boa Viagem",
                                "Santa Cecília", "Vila Mariana", "Copacabana", "Savassi",
                                "Batel", "Moinhos de Vento"};
const char* const kHobbies[] = {"Futebol", "Leitura", "Música", "Pescaria", "Culinária",
                                "Xadrez", "Ciclismo", "Fotografia", "Jardinagem", "Natação"};
const char* const kComplementos[] = {"Apto 12", "Casa 2", "Bloco B", "Fundos", "Sala 301",
                                     "Apto 1104", "Loja 3"};
const char* const kObs[] = {"Cliente desde a inauguração.", "Prefere contato por e-mail.",
                            "Não ligar após as 18h.", "Indicação de um amigo; \"VIP\"."};

template <typename T, std::size_t N>
constexpr std::size_t Count(T (&)[N]) {
  return N;
}

uint64_t Mix(uint64_t x) {  // splitmix64
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// The k-th pseudo-random number of client i.
uint64_t R(long i, int k) { return Mix(static_cast<uint64_t>(i) * 64 + k); }

std::string CPF(long i) {
  // i * 7919 is a bijection modulo 10^11 (7919 is coprime to 10).
  const uint64_t v = (static_cast<uint64_t>(i) * 7919ULL + 12345678901ULL) % 100000000000ULL;
  char digits[12];
  std::snprintf(digits, sizeof digits, "%011llu", static_cast<unsigned long long>(v));
  std::string s(digits, 11);
  return s.substr(0, 3) + "." + s.substr(3, 3) + "." + s.substr(6, 3) + "-" + s.substr(9, 2);
}

bool Masculino(long i) { return R(i, 1) % 2 == 0; }

std::string Nome(long i) {
  std::string nome = Masculino(i) ? kNomesM[R(i, 2) % Count(kNomesM)] : kNomesF[R(i, 2) % Count(kNomesF)];
  nome += ' ';
  nome += (i % kRaroCada == 7) ? kSobrenomeRaro : kSobrenomes[R(i, 3) % Count(kSobrenomes)];
  nome += ' ';
  nome += (R(i, 4) % 3 == 0) ? kSobrenomeComum : kSobrenomes[R(i, 5) % Count(kSobrenomes)];
  return nome;
}

std::string DataCadastro(long i) {
  // 2012-01-01 00:00:00 UTC plus 37.013 s per client: strictly increasing.
  const long long ms = 1325376000000LL + static_cast<long long>(i) * 37013LL;
  const std::time_t secs = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&secs, &tm);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms % 1000));
  return buf;
}

void Check(sqlite3* db, int rc, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

}  // namespace

void RemoveDatabase(const QString& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) QFile::remove(path + QLatin1String(suffix));
}

QString ClienteCPF(long i) { return QString::fromStdString(CPF(i)); }
QString ClienteNome(long i) { return QString::fromStdString(Nome(i)); }

void CreateDatabase(const QString& path, const QString& schemaFile) {
  std::ifstream in(schemaFile.toStdString());
  if (!in) throw std::runtime_error("cannot read " + schemaFile.toStdString());
  const std::string schema((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  RemoveDatabase(path);
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc != SQLITE_OK) {
    const std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw std::runtime_error("cannot create " + path.toStdString() + ": " + msg);
  }
  char* err = nullptr;
  if (sqlite3_exec(db, schema.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string msg = err ? err : "?";
    sqlite3_free(err);
    sqlite3_close(db);
    throw std::runtime_error("schema: " + msg);
  }
  sqlite3_close(db);
}

void GenerateClients(const QString& path, long first, long count) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    const std::string msg = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    throw std::runtime_error("cannot open " + path.toStdString() + ": " + msg);
  }
  // A fresh file nobody else reads: no journal, no syncs, and a cache that
  // holds the key index, whose inserts come in random order. WAL comes back at the end.
  Check(db,
        sqlite3_exec(db,
                     "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;"
                     "PRAGMA cache_size=-1048576; BEGIN",
                     nullptr, nullptr, nullptr),
        "begin");
  sqlite3_stmt* st = nullptr;
  Check(db,
        sqlite3_prepare_v2(db,
                           "Insert Into Clientes (CPFCod,Nome,Sexo,Hobby,CEP,Endereco,Num,"
                           "Complemento,Bairro,Cidade,UF,DDD,Fone,Email,Obs,DataCadastro) "
                           "Values (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
                           -1, &st, nullptr),
        "prepare");
  auto text = [&](int col, const std::string& s) {
    sqlite3_bind_text(st, col, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
  };
  char buf[64];
  for (long i = first; i < first + count; ++i) {
    if (i > first && (i - first) % 1000000 == 0)
      std::fprintf(stderr, "  %ld of %ld clients\n", i - first, count);
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    text(1, CPF(i));
    text(2, Nome(i));
    text(3, Masculino(i) ? "M" : "F");
    if (R(i, 6) % 5 != 0) text(4, kHobbies[R(i, 7) % Count(kHobbies)]);  // else Null
    std::snprintf(buf, sizeof buf, "%05d-%03d", static_cast<int>(R(i, 8) % 100000),
                  static_cast<int>(R(i, 9) % 1000));
    text(5, buf);
    text(6, kRuas[R(i, 10) % Count(kRuas)]);
    sqlite3_bind_int(st, 7, static_cast<int>(R(i, 11) % 9999) + 1);
    switch (R(i, 12) % 3) {
      case 0: text(8, kComplementos[R(i, 13) % Count(kComplementos)]); break;
      case 1: text(8, ""); break;
      default: break;  // Null
    }
    if (R(i, 14) % 10 != 0) text(9, kBairros[R(i, 15) % Count(kBairros)]);
    const Cidade& c = kCidades[R(i, 16) % Count(kCidades)];
    text(10, c.nome);
    text(11, c.uf);
    sqlite3_bind_int(st, 12, c.ddd);
    std::snprintf(buf, sizeof buf, "%04d-%04d", 2000 + static_cast<int>(R(i, 17) % 8000),
                  static_cast<int>(R(i, 18) % 10000));
    text(13, buf);
    if (R(i, 19) % 4 != 0) {
      std::snprintf(buf, sizeof buf, "cliente%ld@exemplo.com.br", i);
      text(14, buf);
    }
    if (R(i, 20) % 8 == 0) text(15, kObs[R(i, 21) % Count(kObs)]);
    else if (R(i, 20) % 8 == 1) text(15, "");
    text(16, DataCadastro(i));
    Check(db, sqlite3_step(st), "insert");
  }
  sqlite3_finalize(st);
  Check(db, sqlite3_exec(db, "COMMIT; PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr), "commit");
  sqlite3_close(db);  // checkpoints and removes the WAL file
}

QString CachedDatabase(const QString& dir, long n) {
  QDir().mkpath(dir);
  const QString path = QDir(dir).filePath(QStringLiteral("clientes-%1.mdb").arg(n));
  if (QFileInfo::exists(path)) return path;
  // Generate under a temporary name so an interrupted run leaves no partial cache.
  const QString tmp = path + ".tmp";
  CreateDatabase(tmp);
  GenerateClients(tmp, 0, n);
  RemoveDatabase(path);
  if (!QFile::rename(tmp, path)) throw std::runtime_error("cannot rename " + tmp.toStdString());
  return path;
}

void CopyDatabase(const QString& from, const QString& to) {
  RemoveDatabase(to);
  if (!QFile::copy(from, to)) throw std::runtime_error("cannot copy " + from.toStdString());
  QFile(to).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

// ---------------------------------------------------------------------------
// Options

namespace {

[[noreturn]] void Usage(const char* usage, int rc) {
  std::fprintf(rc ? stderr : stdout,
               "Options: --db FILE [--in-place] | --clients N ...; --dir DIR; --repeat N\n%s",
               usage ? usage : "");
  std::exit(rc);
}

long Number(const char* usage, const QString& text) {
  bool ok = false;
  const long v = QString(text).remove(QLatin1Char('_')).remove(QLatin1Char(',')).toLong(&ok);
  if (!ok || v <= 0) {
    std::fprintf(stderr, "not a positive number: %s\n", qPrintable(text));
    Usage(usage, 2);
  }
  return v;
}

}  // namespace

Options ParseOptions(int argc, char** argv, const char* usage) {
  Options o;
  const QStringList args = [&] {
    QStringList a;
    for (int i = 1; i < argc; ++i) a << QString::fromLocal8Bit(argv[i]);
    return a;
  }();
  for (qsizetype i = 0; i < args.size(); ++i) {
    const QString& a = args[i];
    auto value = [&]() -> QString {
      if (i + 1 >= args.size()) {
        std::fprintf(stderr, "%s needs a value\n", qPrintable(a));
        Usage(usage, 2);
      }
      return args[++i];
    };
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) Usage(usage, 0);
    else if (a == QLatin1String("--db")) o.db = QFileInfo(value()).absoluteFilePath();
    else if (a == QLatin1String("--in-place")) o.inPlace = true;
    else if (a == QLatin1String("--dir")) o.dir = QFileInfo(value()).absoluteFilePath();
    else if (a == QLatin1String("--clients")) o.clients.push_back(Number(usage, value()));
    else if (a == QLatin1String("--repeat")) o.repeat = int(Number(usage, value()));
    else if (!a.startsWith(QLatin1String("--"))) o.clients.push_back(Number(usage, a));
    else if (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--"))) o.extra << a << args[++i];
    else o.extra << a;
  }
  if (!o.db.isEmpty() && !QFileInfo(o.db).isFile()) {
    std::fprintf(stderr, "no such database: %s\n", qPrintable(o.db));
    std::exit(2);
  }
  if (o.inPlace && o.db.isEmpty()) {
    std::fprintf(stderr, "--in-place needs --db\n");
    std::exit(2);
  }
  return o;
}

QString ExtraOption(const Options& o, const QString& name, const QString& fallback) {
  const qsizetype i = o.extra.indexOf(name);
  return i >= 0 && i + 1 < o.extra.size() && !o.extra[i + 1].startsWith(QLatin1String("--")) ? o.extra[i + 1]
                                                                                              : fallback;
}

bool ExtraFlag(const Options& o, const QString& name) { return o.extra.contains(name); }

QStringList ToArguments(const Options& o) {
  QStringList a;
  if (!o.db.isEmpty()) a << QStringLiteral("--db") << o.db;
  if (o.inPlace) a << QStringLiteral("--in-place");
  if (!o.dir.isEmpty()) a << QStringLiteral("--dir") << o.dir;
  for (long n : o.clients) a << QStringLiteral("--clients") << QString::number(n);
  if (o.repeat > 0) a << QStringLiteral("--repeat") << QString::number(o.repeat);
  return a + o.extra;
}

QString DataDir(const Options& o) {
  static QString dir;
  if (dir.isEmpty()) {
    if (!o.dir.isEmpty()) {
      dir = o.dir;
    } else if (QString(VT_BENCH_CACHE_DIR).isEmpty()) {
      // Lives until the process ends.
      static QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/vtbench-XXXXXX"));
      dir = tmp.path();
    } else {
      dir = QStringLiteral(VT_BENCH_CACHE_DIR);
    }
    QDir().mkpath(dir);
  }
  return dir;
}

QString SourceDatabase(const Options& o, long n) {
  if (!o.db.isEmpty()) return o.db;
  const QString path = QDir(DataDir(o)).filePath(QStringLiteral("clientes-%1.mdb").arg(n));
  if (!QFileInfo::exists(path)) std::fprintf(stderr, "generating %ld clients into %s ...\n", n, qPrintable(path));
  return CachedDatabase(DataDir(o), n);
}

QString PrepareWritable(const Options& o, const QString& source, const QString& folder, const QString& fileName) {
  QDir().mkpath(folder);
  const QString to = QDir(folder).filePath(fileName);
  if (o.inPlace) {
    RemoveDatabase(to);
    if (!QFile::link(source, to)) throw std::runtime_error("cannot link " + to.toStdString());
  } else {
    CopyDatabase(source, to);
  }
  return to;
}

QString RunFolder(const Options& o, const QString& prefix) {
  const QString path = QDir(DataDir(o)).filePath(prefix + QStringLiteral("-%1").arg(QCoreApplication::applicationPid()));
  QDir(path).removeRecursively();
  QDir().mkpath(path);
  return path;
}

// ---------------------------------------------------------------------------
// Raw floors

RawConnection::RawConnection(const QString& path) {
  // As the program opens its database: read-write, no mutex, never created.
  if (sqlite3_open_v2(path.toUtf8().constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    const std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
    sqlite3_close(db_);
    throw std::runtime_error("cannot open " + path.toStdString() + ": " + msg);
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, 1500);
}

RawConnection::~RawConnection() { sqlite3_close_v2(db_); }

double RawConnection::Step(const QString& sql, bool columns, long* rows) const {
  Timer t;
  sqlite3_stmt* st = nullptr;
  Check(db_, sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr), "prepare");
  long n = 0;
  size_t bytes = 0;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    ++n;
    if (columns)
      for (int i = 0, k = sqlite3_column_count(st); i < k; ++i) {
        sqlite3_column_text(st, i);
        bytes += size_t(sqlite3_column_bytes(st, i));
      }
  }
  sqlite3_finalize(st);
  const double s = t.Seconds();
  Check(db_, rc, "step");
  if (rows) *rows = n;
  if (columns && n > 0 && bytes == 0) std::fprintf(stderr, "raw step read no text\n");
  return s;
}

QStringList RawConnection::Texts(const QString& sql) const {
  sqlite3_stmt* st = nullptr;
  Check(db_, sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr), "prepare");
  QStringList out;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW)
    out << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), sqlite3_column_bytes(st, 0));
  sqlite3_finalize(st);
  Check(db_, rc, "step");
  return out;
}

long RawConnection::Count(const QString& sql) const {
  const QStringList t = Texts(sql);
  return t.isEmpty() ? -1 : t.first().toLong();
}

// ---------------------------------------------------------------------------
// Measuring

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double MedianOf(int repeat, const std::function<void()>& f) {
  std::vector<double> t;
  for (int i = 0; i < repeat; ++i) {
    Timer timer;
    f();
    t.push_back(timer.Seconds());
  }
  return Median(t);
}

namespace {
long StatusKB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string k = std::string(key) + ":";
  while (std::getline(in, line))
    if (line.compare(0, k.size(), k) == 0) return std::stol(line.substr(k.size()));
  return -1;
}
}  // namespace

long PeakMemoryKB() { return StatusKB("VmHWM"); }
long CurrentMemoryKB() { return StatusKB("VmRSS"); }

void ResetPeakMemory() {
  std::ofstream out("/proc/self/clear_refs");
  out << "5";
}

// ---------------------------------------------------------------------------
// The target table

namespace {
QString Show(double v, Unit u) {
  switch (u) {
    case Unit::Seconds: return QString::number(v, 'f', 3) + QStringLiteral(" s");
    case Unit::Milliseconds: return QString::number(v * 1000, 'f', 3) + QStringLiteral(" ms");
    case Unit::MB: return QString::number(v, 'f', 1) + QStringLiteral(" MB");
    case Unit::Ratio: return QString::number(v, 'f', 2) + QStringLiteral(" x");
  }
  return {};
}
}  // namespace

void TargetTable::Emit(const Target& t) {
  std::printf("@target\t%s\t%.9g\t%d\t%.9g\t%s\n", qUtf8Printable(t.what), t.value, int(t.unit), t.limit,
              qUtf8Printable(t.note));
  std::fflush(stdout);
}

void TargetTable::Collect(const QByteArray& childOutput) {
  for (const QByteArray& line : childOutput.split('\n')) {
    const QList<QByteArray> f = line.split('\t');
    if (f.size() != 6 || f[0] != "@target") continue;
    Add(Target{QString::fromUtf8(f[1]), f[2].toDouble(), Unit(f[3].toInt()), f[4].toDouble(), QString::fromUtf8(f[5])});
  }
}

bool TargetTable::Print(const QString& title) const {
  std::printf("\n%s\n", qUtf8Printable(title));
  int w = 7;
  for (const Target& t : rows_) w = std::max(w, int(t.what.size()));
  const QString line = QString(w + 36, QLatin1Char('-'));
  std::printf("%s\n%-*s | %11s | %11s | %s\n%s\n", qUtf8Printable(line), w, "command", "measured", "target",
              "verdict", qUtf8Printable(line));
  bool all = true;
  for (const Target& t : rows_) {
    all = all && t.Passed();
    const QString limit = t.limit > 0 ? QStringLiteral("<= ") + Show(t.limit, t.unit) : QStringLiteral("-");
    const char* verdict = t.limit <= 0 ? "info" : t.Passed() ? "pass" : "FAIL";
    std::printf("%s | %11s | %11s | %-4s %s\n", qUtf8Printable(t.what.leftJustified(w)),
                qUtf8Printable(Show(t.value, t.unit)), qUtf8Printable(limit), verdict, qUtf8Printable(t.note));
  }
  std::printf("%s\n", qUtf8Printable(line));
  std::fflush(stdout);
  return all;
}

}  // namespace vtbench
