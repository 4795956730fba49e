#include "ListaClientes.h"

#include "platform/ado/ado.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>

void LinhasClientes::AcrescentaLinha(const QByteArrayView (&celulas)[Colunas]) {
  size_t n = 0;
  for (const QByteArrayView& c : celulas) n += size_t(c.size());
  if (tamanho_ + n > std::numeric_limits<quint32>::max()) throw std::length_error("search result too large");
  if (tamanho_ + n > capacidade_) {
    const size_t nova = std::max({capacidade_ * 2, tamanho_ + n, size_t(64 * 1024)});
    char* p = static_cast<char*>(std::realloc(texto_.get(), nova));
    if (!p) throw std::bad_alloc();
    (void)texto_.release();
    texto_.reset(p);
    capacidade_ = nova;
  }
  for (const QByteArrayView& c : celulas) {
    if (!c.isEmpty()) std::memcpy(texto_.get() + tamanho_, c.data(), size_t(c.size()));
    tamanho_ += size_t(c.size());
    fim_.push_back(quint32(tamanho_));
  }
}

QString LinhasClientes::Texto(qsizetype linha, int coluna) const {
  const size_t i = size_t(linha) * Colunas + size_t(coluna);
  if (linha < 0 || coluna < 0 || coluna >= Colunas || i >= fim_.size()) return {};
  const quint32 inicio = i == 0 ? 0 : fim_[i - 1];
  return ado::TextFromUtf8(QByteArrayView(texto_.get() + inicio, qsizetype(fim_[i] - inicio)));
}

ListaClientes::ListaClientes(QObject* parent) : QAbstractTableModel(parent) {}

void ListaClientes::Substitui(LinhasClientes linhas) {
  beginResetModel();
  linhas_ = std::move(linhas);
  endResetModel();
}

void ListaClientes::Limpa() { Substitui({}); }

int ListaClientes::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(linhas_.Linhas());
}

int ListaClientes::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : LinhasClientes::Colunas;
}

QVariant ListaClientes::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
    return linhas_.Texto(index.row(), index.column());
  return {};
}

QVariant ListaClientes::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case 0: return QStringLiteral("CPF-Cód.");
    case 1: return QStringLiteral("Nome");
    case 2: return QStringLiteral("Telefone");
    default: return {};
  }
}
