#pragma once
// Shared by the search dialog tests: a small known client table in a fresh
// ulmaro.mdb, the dialog's widgets, and a message-box recorder.
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <sqlite3.h>

#include "platform/forms/msgbox.h"
#include "search/frmLocalizar.h"
#include "tests/data/testdb.h"

namespace fixture {

// folder/ulmaro.mdb with six clients, registered in this order.
inline void CriaBanco(const QString& folder) {
  sqlite3* db = nullptr;
  sqlite3_open(testdb::Cria(folder + QStringLiteral("/ulmaro.mdb")).toUtf8().constData(), &db);
  const int rc = sqlite3_exec(db,
      "Insert Into Clientes (CPFCod,Nome,Fone,DataCadastro,Sexo,CEP,Endereco,Num,Cidade,UF,DDD) "
      "Select column1, column2, column3, '2024-01-01 10:00:0' || column4 || '.000', "
      "'M','01310-100','Rua A',1,'Santos','SP',13 From (Values "
      "('11122233344','Maria da Silva','3333-4444',0), ('22233344455','João Silva Souza','3232-1111',1), "
      "('C001','Ana Costa','4444-3333',2), ('C002','Pedro 100% Lima','5555-6666',3), "
      "('33344455566','Carla D''Ávila','3333-4445',4), ('C003','Anacleto','1234-5678',5))",
      nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) qFatal("insert: %s", sqlite3_errmsg(db));
  sqlite3_close(db);
}

// A message box as "title|buttons|prompt".
inline QString Caixa(const QString& prompt, int buttons, const QString& title = QStringLiteral("Aviso")) {
  return title + QLatin1Char('|') + QString::number(buttons) + QLatin1Char('|') + prompt;
}
// Records every message box as Caixa does and answers OK while it lives.
struct Caixas : QStringList {
  Caixas() {
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      return *this << Caixa(c.prompt, c.buttons, c.title), int(forms::vbOK);
    });
  }
  ~Caixas() { forms::SetMsgBoxResponder({}); }
};

// The open dialog's widgets.
struct Dialogo {
  QWidget* w = frmLocalizar::Instance().Window();
  template <class T> T* f(const char* nome) const { return w->findChild<T*>(QLatin1String(nome)); }
  QComboBox *cboCampos = f<QComboBox>("cboCampos"), *cboCriterio = f<QComboBox>("cboCriterio");
  QLineEdit* txtCondicao = f<QLineEdit>("txtCondicao");
  QAbstractItemView* lvItens = f<QAbstractItemView>("lvItens");
  QPushButton *cmdOK = f<QPushButton>("cmdOK"), *cmdCancelar = f<QPushButton>("cmdCancelar");

  static Dialogo Abre() { return frmLocalizar::Instance().Show(), Dialogo{}; }

  // Picks the field and criterion by their texts (empty: none) and clicks the picture.
  void Busca(const QString& campo, const QString& criterio, const QString& texto) {
    cboCampos->setCurrentIndex(cboCampos->findText(campo));
    cboCriterio->setCurrentIndex(cboCriterio->findText(criterio));
    txtCondicao->setText(texto);
    QTest::mouseClick(f<QWidget>("cmdBusca"), Qt::LeftButton);
  }
  // A column of the list (0: CPFCod), top to bottom.
  QStringList Coluna(int c = 0) const {
    QStringList out;
    for (int r = 0; r < lvItens->model()->rowCount(); ++r) out << lvItens->model()->index(r, c).data().toString();
    return out;
  }
  void Seleciona(int row) { lvItens->setCurrentIndex(lvItens->model()->index(row, 0)); }
  void DuploClique(int row) {
    const QPoint p = lvItens->visualRect(lvItens->model()->index(row, 1)).center();
    QTest::mouseClick(lvItens->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseDClick(lvItens->viewport(), Qt::LeftButton, {}, p);
  }
};

}  // namespace fixture
