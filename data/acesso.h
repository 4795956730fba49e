#pragma once
// Why a user may not open the clients' file: the data folder (or the file
// itself) is open to one group only, and the user is not in it.
#include <QString>

#include "platform/ado/ado.h"

namespace acesso {

// Called while handling `e`, the failure to open the SQLite file `arquivo`:
// when the user's lack of the group that owns the folder on the way to it
// (through a link, to the data folder) or the file itself is the cause,
// throws an ado::Error with e's number and a Portuguese description naming
// the group and the remedy; otherwise rethrows e.
[[noreturn]] void Explica(const ado::Error& e, const QString& arquivo);

}  // namespace acesso
