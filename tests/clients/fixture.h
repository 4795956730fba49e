#pragma once
// Shared by the client form's tests: the toolbar control registered in a test
// registry, three clients, the toolbar's buttons, a new client typed into the
// form's fields, and the key field left.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

#include "platform/ole/ole.h"

namespace fixture {

// Points the component runtime at a registry in dir and registers the built control.
inline bool RegistraTrivex(const QTemporaryDir& dir, QString* erro) {
  qputenv("VT_OLE_REGISTRY", dir.filePath("registry").toUtf8());
  return ole::Succeeded(ole::RegisterServer(VT_BIN_DIR "/Trivex.ocx", false, erro));
}

// Ana, Bruno and Carla (keys 111, 222, 333), registered in that order.
inline constexpr const char* kTresClientes =
    "Insert Into Clientes (CPFCod,Nome,Sexo,CEP,Endereco,Num,Cidade,UF,DDD,Fone,Obs,DataCadastro) Values "
    "('111','Ana','F','01310-100','Rua A',10,'Recife','PE',81,'3255-1234','obs Ana','2020-01-01 10:00:00.000'), "
    "('222','Bruno','M','01310-100','Rua A',10,'Recife','PE',81,'3255-1234','obs Bruno','2020-01-02 10:00:00.000'), "
    "('333','Carla','F','01310-100','Rua A',10,'Recife','PE',81,'3255-1234','obs Carla','2020-01-03 10:00:00.000')";

// A button of the form's record toolbar, by position.
inline QToolButton* Botao(QWidget* janela, int index) {
  QToolBar* bar = janela ? janela->findChild<QToolBar*>() : nullptr;
  return bar ? qobject_cast<QToolButton*>(bar->widgetForAction(bar->actions().value(index - 1))) : nullptr;
}
// Clicks it with the mouse; it must be there and enabled.
inline void Clica(QWidget* janela, int index) {
  QToolButton* b = Botao(janela, index);
  QVERIFY2(b && b->isEnabled(), qPrintable(QStringLiteral("button %1 not clickable").arg(index)));
  QTest::mouseClick(b, Qt::LeftButton);
}

// Fills every required field of the client form, with the given key and name.
inline void PreencheNovo(QWidget* janela, const QString& cpf, const QString& nome) {
  auto campo = [janela](const char* name) { return janela->findChild<QLineEdit*>(QLatin1String(name)); };
  campo("txtCPFCod")->setText(cpf);
  campo("txtNome")->setText(nome);
  janela->findChild<QComboBox*>(QStringLiteral("cboSexo"))->setCurrentIndex(0);
  campo("mskCEP")->setText("50000-000");
  for (const char* c : {"txtEndereco", "txtNum", "txtCidade", "txtUF", "txtDDD"}) campo(c)->setText("7");
  campo("mskFone")->setText("9999-0000");
}

// Leaves the focused key field with a key press and returns once the key
// check has run: it runs queued, after the focus has moved (Enter moves it
// through a queued Tab), so waiting for the focus alone is not enough.
inline void SaiDaChave(Qt::Key tecla) {
  QWidget* chave = QApplication::focusWidget();
  QVERIFY(chave && chave->objectName() == QLatin1String("txtCPFCod"));
  QTest::keyClick(chave, tecla);
  QTRY_VERIFY(QApplication::focusWidget() != chave);
  QCoreApplication::sendPostedEvents();
}

}  // namespace fixture
