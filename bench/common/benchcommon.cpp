#include "bench/common/benchcommon.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdint>
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

void RemoveDatabase(const QString& path) {
  QFile::remove(path);
  QFile::remove(path + "-wal");
  QFile::remove(path + "-shm");
  QFile::remove(path + "-journal");
}

}  // namespace

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
  Check(db, sqlite3_exec(db, "PRAGMA synchronous=OFF; PRAGMA cache_size=-65536; BEGIN", nullptr,
                         nullptr, nullptr),
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
  Check(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
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

}  // namespace vtbench
