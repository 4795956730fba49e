#pragma once
// The program's start on an Access ulmaro.mdb.
#include <QString>

namespace conversao {

// When `arquivo` is an Access database, asks whether to convert its clients
// now and converts them with a progress dialog (asking again before leaving
// refused rows behind), or throws ado::Error naming the command that converts
// them later. Does nothing for any other file.
void OfereceNoInicio(const QString& arquivo);

}  // namespace conversao
