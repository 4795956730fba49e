#include "ListaClientes.h"

#include <limits>
#include <stdexcept>

void LinhasClientes::AcrescentaCelula(QByteArrayView utf8) {
  texto_.append(utf8);
  if (quint64(texto_.size()) > std::numeric_limits<quint32>::max())
    throw std::length_error("search result too large");
  fim_.push_back(quint32(texto_.size()));
}

QString LinhasClientes::Texto(qsizetype linha, int coluna) const {
  const size_t i = size_t(linha) * Colunas + size_t(coluna);
  if (linha < 0 || coluna < 0 || coluna >= Colunas || i >= fim_.size()) return {};
  const quint32 inicio = i == 0 ? 0 : fim_[i - 1];
  return QString::fromUtf8(texto_.constData() + inicio, qsizetype(fim_[i] - inicio));
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
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole)
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
