// Runs in the child process only: nothing here returns to the caller.
#include "platform/jet/leitor.h"

#include <fcntl.h>
#include <glib.h>  // before mdbtools.h, which includes it inside extern "C"
#include <mdbtools.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace jet::leitor {
namespace {

constexpr int kPagina = 4096;  // Jet 4 and ACE
constexpr int kCabecalhoMemo = 12;

class Saida {
 public:
  explicit Saida(int fd) : fd_(fd) {}
  void Inicia(char tipo) {
    msg_.assign(1, tipo);
    msg_.append(4, '\0');
  }
  void U8(unsigned v) { msg_.push_back(char(v)); }
  void U16(unsigned v) { msg_.append({char(v), char(v >> 8)}); }
  void U32(uint32_t v) { msg_.append({char(v), char(v >> 8), char(v >> 16), char(v >> 24)}); }
  void Bytes(const void* p, size_t n) { msg_.append(static_cast<const char*>(p), n); }
  void Nome(const char* s) {
    const size_t n = strnlen(s, MDB_MAX_OBJ_NAME);
    U16(unsigned(n));
    Bytes(s, n);
  }
  void Termina() {
    const uint32_t n = uint32_t(msg_.size() - 5);
    for (int i = 0; i < 4; ++i) msg_[size_t(1 + i)] = char(n >> (8 * i));
    buf_ += msg_;
    if (buf_.size() > 65536) Envia();
  }
  void Envia() {
    for (size_t feito = 0; feito < buf_.size();) {
      const ssize_t n = write(fd_, buf_.data() + feito, buf_.size() - feito);
      if (n <= 0) _exit(4);  // the reader went away
      feito += size_t(n);
    }
    buf_.clear();
  }
  [[noreturn]] void Falha(const char* motivo) {
    Inicia(kFalha);
    Bytes(motivo, strlen(motivo));
    Termina();
    Envia();
    _exit(3);
  }

 private:
  int fd_;
  std::string msg_, buf_;
};

bool Dentro(long inicio, long tamanho) { return inicio >= 0 && tamanho >= 0 && inicio + tamanho <= kPagina; }

// A Memo's text: inline after its 12-byte header, in one long-value row, or
// in a chain of them, each starting with the next one's page and row.
bool Memo(MdbHandle* mdb, const unsigned char* campo, long tamanho, std::string* texto) {
  if (tamanho < kCabecalhoMemo) return false;
  const uint32_t cabeca = uint32_t(mdb_get_int32(const_cast<unsigned char*>(campo), 0));
  const uint32_t total = cabeca & 0x3fffffff;
  if (cabeca & 0x80000000) {
    texto->assign(reinterpret_cast<const char*>(campo) + kCabecalhoMemo, size_t(tamanho - kCabecalhoMemo));
    return true;
  }
  long pgRow = mdb_get_int32(const_cast<unsigned char*>(campo), 4);
  const bool encadeado = !(cabeca & 0x40000000);
  texto->clear();
  while (pgRow && texto->size() < total) {
    void* pagina = nullptr;
    int inicio = 0;
    size_t n = 0;
    if (mdb_find_pg_row(mdb, int(pgRow), &pagina, &inicio, &n) || !Dentro(inicio, long(n))) return false;
    const char* p = static_cast<const char*>(pagina) + inicio;
    if (!encadeado) {
      texto->assign(p, n);
      return true;
    }
    if (n < 4) return false;
    pgRow = mdb_get_int32(const_cast<char*>(p), 0);
    texto->append(p + 4, n - 4);
  }
  return texto->size() == total;
}

}  // namespace

void Executa(int fd, const char* arquivo, const char* tabela) {
  // libmdb writes its warnings to stdout and stderr, which belong to the caller.
  const int nulo = open("/dev/null", O_WRONLY);
  dup2(nulo, STDOUT_FILENO);
  dup2(nulo, STDERR_FILENO);
  Saida saida(fd);
  MdbHandle* mdb = mdb_open(arquivo, MDB_NOFLAGS);
  if (!mdb) saida.Falha(kNaoAbre);
  if (mdb->f->jet_version == MDB_VER_JET3) saida.Falha(kJet3);
  if (!mdb_read_catalog(mdb, MDB_TABLE)) saida.Falha(kCatalogo);
  MdbCatalogEntry* achada = nullptr;
  saida.Inicia(kTabelas);
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* entrada = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (!mdb_is_user_table(entrada)) continue;
    saida.Nome(entrada->object_name);
    if (!achada && g_ascii_strcasecmp(entrada->object_name, tabela) == 0) achada = entrada;
  }
  saida.Termina();
  if (!achada) saida.Falha(kSemTabela);
  MdbTableDef* t = mdb_read_table(achada);
  if (!t || !mdb_read_columns(t) || t->num_cols == 0 || t->num_cols > MDB_MAX_COLS) saida.Falha(kDefinicao);
  saida.Inicia(kCabecalho);
  saida.Nome(achada->object_name);
  saida.U32(t->num_rows);
  saida.U16(t->num_cols);
  for (unsigned i = 0; i < t->num_cols; ++i) {
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
    saida.U8(unsigned(col->col_type));
    saida.Nome(col->name);
  }
  saida.Termina();

  mdb_rewind_table(t);
  MdbField campos[MDB_MAX_COLS];
  std::string memo;
  while (mdb_fetch_row(t)) {
    int inicio = 0;
    size_t tamanho = 0;
    if (mdb_find_row(mdb, int(t->cur_row) - 1, &inicio, &tamanho)) saida.Falha(kLinhaRuim);
    inicio &= 0x1fff;
    if (!Dentro(inicio, long(tamanho)) || mdb_crack_row(t, inicio, tamanho, campos) < 0) saida.Falha(kLinhaRuim);
    saida.Inicia(kLinha);
    for (unsigned i = 0; i < t->num_cols; ++i) {
      const MdbField& f = campos[i];
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, unsigned(f.colnum)));
      if (col->col_type == MDB_BOOL) {  // the value is the null bit itself
        saida.U8(1);
        saida.U32(1);
        saida.U8(f.is_null ? 0 : 1);
        continue;
      }
      if (f.is_null) {
        saida.U8(0);
        continue;
      }
      const long desde = long(f.start), n = long(f.siz);
      if (!Dentro(desde, n)) saida.Falha(kLinhaRuim);
      const unsigned char* valor = mdb->pg_buf + desde;
      if (col->col_type == MDB_MEMO) {
        if (!Memo(mdb, valor, n, &memo)) saida.Falha(kLinhaRuim);
        saida.U8(1);
        saida.U32(uint32_t(memo.size()));
        saida.Bytes(memo.data(), memo.size());
      } else {
        saida.U8(1);
        saida.U32(uint32_t(n));
        saida.Bytes(valor, size_t(n));
      }
    }
    saida.Termina();
  }
  saida.Inicia(kFim);
  saida.Termina();
  saida.Envia();
  _exit(0);
}

}  // namespace jet::leitor
