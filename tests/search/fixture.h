#pragma once
// Shared by the search dialog tests: a small known client table in a fresh
// ulmaro.mdb, the dialog's widgets, and a message-box recorder.
#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <sqlite3.h>

#include "platform/forms/msgbox.h"
#include "search/frmLocalizar.h"

namespace fixture {

struct Cliente {
  const char* cpf;
  const char* nome;
  const char* fone;
};

// In insertion (and registration) order.
inline const Cliente kClientes[] = {
    {"11122233344", "Maria da Silva", "3333-4444"},
    {"22233344455", "João Silva Souza", "3232-1111"},
    {"C001", "Ana Costa", "4444-3333"},
    {"C002", "Pedro 100% Lima", "5555-6666"},
    {"33344455566", "Carla D'Ávila", "3333-4445"},
    {"C003", "Anacleto", "1234-5678"},
};

inline void Exec(sqlite3* db, const QByteArray& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.constData(), nullptr, nullptr, &err) != SQLITE_OK) {
    const QByteArray msg = err ? err : "?";
    sqlite3_free(err);
    qFatal("%s: %s", sql.constData(), msg.constData());
  }
}

// folder/ulmaro.mdb from the schema with the known clients. With livre, a
// table without constraints instead, as another tool might have left it.
inline void CriaBanco(const QString& folder, bool livre = false) {
  const QString path = folder + QStringLiteral("/ulmaro.mdb");
  QFile::remove(path);
  sqlite3* db = nullptr;
  if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) qFatal("cannot create %s", qPrintable(path));
  if (livre) {
    Exec(db, "Create Table Clientes (CPFCod Text, Nome Text, Fone Text)");
    Exec(db, "Insert Into Clientes Values ('N1', Null, '1111-2222'), ('N2', 'Sem Fone', Null), ('N3', '', '9999-0000')");
  } else {
    QFile schema(QStringLiteral(VT_SOURCE_DIR "/data/schema.sql"));
    if (!schema.open(QIODevice::ReadOnly)) qFatal("no schema");
    Exec(db, schema.readAll());
    int n = 0;
    for (const Cliente& c : kClientes) {
      sqlite3_stmt* st = nullptr;
      sqlite3_prepare_v2(db,
                         "Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,"
                         "DataCadastro) Values (?,?,'M','01310-100','Rua A',1,'Santos','SP',13,?,?)",
                         -1, &st, nullptr);
      const QByteArray data = QByteArray("2024-01-01 10:00:0") + QByteArray::number(n++) + ".000";
      sqlite3_bind_text(st, 1, c.cpf, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 2, c.nome, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 3, c.fone, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 4, data.constData(), -1, SQLITE_TRANSIENT);
      if (sqlite3_step(st) != SQLITE_DONE) qFatal("insert: %s", sqlite3_errmsg(db));
      sqlite3_finalize(st);
    }
  }
  sqlite3_close(db);
}

// Records every message box and answers OK.
struct Caixas {
  QList<forms::MsgBoxCall> chamadas;
  void Instala() {
    chamadas.clear();
    forms::SetMsgBoxResponder([this](const forms::MsgBoxCall& c) {
      chamadas.append(c);
      return int(forms::vbOK);
    });
  }
};

// The open dialog's widgets.
struct Dialogo {
  QWidget* w = nullptr;
  QComboBox* cboCampos = nullptr;
  QComboBox* cboCriterio = nullptr;
  QLineEdit* txtCondicao = nullptr;
  QWidget* cmdBusca = nullptr;
  QAbstractItemView* lvItens = nullptr;
  QPushButton* cmdOK = nullptr;
  QPushButton* cmdCancelar = nullptr;

  static Dialogo Abre() {
    frmLocalizar::Instance().Show();
    Dialogo d;
    d.w = frmLocalizar::Instance().Window();
    if (!d.w) return d;
    d.cboCampos = d.w->findChild<QComboBox*>(QStringLiteral("cboCampos"));
    d.cboCriterio = d.w->findChild<QComboBox*>(QStringLiteral("cboCriterio"));
    d.txtCondicao = d.w->findChild<QLineEdit*>(QStringLiteral("txtCondicao"));
    d.cmdBusca = d.w->findChild<QWidget*>(QStringLiteral("cmdBusca"));
    d.lvItens = d.w->findChild<QAbstractItemView*>(QStringLiteral("lvItens"));
    d.cmdOK = d.w->findChild<QPushButton*>(QStringLiteral("cmdOK"));
    d.cmdCancelar = d.w->findChild<QPushButton*>(QStringLiteral("cmdCancelar"));
    return d;
  }

  // Picks the field and criterion by their texts (empty: none) and clicks the picture.
  void Busca(const QString& campo, const QString& criterio, const QString& texto) {
    cboCampos->setCurrentIndex(cboCampos->findText(campo));
    cboCriterio->setCurrentIndex(cboCriterio->findText(criterio));
    txtCondicao->setText(texto);
    QTest::mouseClick(cmdBusca, Qt::LeftButton);
  }

  // CPFCod column of the list, top to bottom.
  QStringList Codigos() const {
    QStringList out;
    for (int r = 0; r < lvItens->model()->rowCount(); ++r)
      out << lvItens->model()->index(r, 0).data().toString();
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
