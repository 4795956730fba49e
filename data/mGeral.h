#pragma once
// Module mGeral: the program's one connection, the statement text the forms
// build their SQL in, and two routines the forms share.
#include <QString>
#include <memory>

#include "platform/ado/ado.h"

class QWidget;

namespace mGeral {

// The one connection, open from AbreBanco until the process ends.
extern std::shared_ptr<ado::Connection> cnConexao;
// The statement most recently built by a form; assigned in full before each use.
extern QString strSQL;
// Column list and value list of an insert while it is being built.
extern QString strCampos;
extern QString strValores;

// Opens cnConexao on ulmaro.mdb in the program's folder and checks that its
// table Clientes has every column the program uses. Throws ado::Error; a
// refused file is left exactly as it was.
// When the environment variable VT_SERVIDOR is set (by the machine's
// administrator), connects to that PostgreSQL server instead: its value is a
// libpq connection string or URI, or the bare name of a service of
// pg_service.conf. The program never stores it.
void AbreBanco();
// The libpq connection string VT_SERVIDOR names; empty for the file.
QString Servidor();
// The check of AbreBanco: table Clientes and its columns.
void ConfereTabela();

// Empties every input control of the form and resets the masks mskCEP and
// mskFone to their empty patterns. Never fails, reports nothing.
void LimpaCampos(QWidget& form);

// Key filter: digits and Backspace (8) pass, any other code becomes 0.
qint16 SoNumeros(qint16 KeyAscii);

// Reports the error being handled (call it inside a catch block) as an
// unhandled error is reported: a "Pontelo" box with its number and description.
void RelataErro();

}  // namespace mGeral
