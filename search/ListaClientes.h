#pragma once
// Rows of the search result list: CPFCod, Nome and Fone of each client.
// The texts live in one UTF-8 buffer with an end offset per cell, so a list of
// a million clients costs about the size of its text; the view's strings are
// made only for the cells it paints.
#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QString>
#include <cstdlib>
#include <memory>
#include <vector>

// A growing block of rows, filled before it is handed to the model.
class LinhasClientes {
 public:
  static constexpr int Colunas = 3;

  // Appends a row: its three cells as UTF-8.
  void AcrescentaLinha(const QByteArrayView (&celulas)[3]);
  qsizetype Linhas() const { return qsizetype(fim_.size() / Colunas); }
  QString Texto(qsizetype linha, int coluna) const;

 private:
  struct Libera {
    void operator()(char* p) const { std::free(p); }
  };
  // Grown with realloc, which moves large blocks without copying them.
  std::unique_ptr<char, Libera> texto_;
  size_t tamanho_ = 0, capacidade_ = 0;
  std::vector<quint32> fim_;  // end of each cell in texto_, row by row
};

class ListaClientes : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ListaClientes(QObject* parent = nullptr);

  // Replaces every row at once.
  void Substitui(LinhasClientes linhas);
  void Limpa();
  // The CPFCod text of a row.
  QString CPFCod(int linha) const { return linhas_.Texto(linha, 0); }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  LinhasClientes linhas_;
};
