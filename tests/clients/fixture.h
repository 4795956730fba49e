#pragma once
// Shared by the client form's tests: the toolbar control registered in a test
// registry, a new client typed into the form's fields, and the key field left.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include "platform/ole/ole.h"

namespace fixture {

// Points the component runtime at a registry in dir and registers the built control.
inline bool RegistraTrivex(const QTemporaryDir& dir, QString* erro) {
  qputenv("VT_OLE_REGISTRY", dir.filePath("registry").toUtf8());
  return ole::Succeeded(ole::RegisterServer(VT_BIN_DIR "/Trivex.ocx", false, erro));
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
