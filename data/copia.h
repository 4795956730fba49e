#pragma once
// ulmaro-migra copia: a consistent copy of ulmaro.mdb, taken while desks keep
// saving (SQLite's VACUUM INTO reads one snapshot), checked with
// integrity_check before it takes its name, readable only by its owner and
// group (umask 027). A copy never replaces the file it is made from.
//
//   ulmaro-migra copia [--de <ulmaro.mdb>] <destino.mdb | pasta>
//   ulmaro-migra copia [--de <ulmaro.mdb>] --diaria <pasta>
//
// The source is ulmaro.mdb beside ulmaro-migra unless --de names another file.
// A destination file must not exist; in a folder the copy is named by the
// moment it was taken. --diaria names the copy ulmaro-AAAA-MM-DD.mdb (a second
// copy on the same day replaces the first) and then keeps, of those copies,
// the newest kDiarias and the newest of each of the kSemanais weeks before
// them; a failed copy removes nothing.
// Exit status: 0 the copy is in place and checked, 2 no copy.
#include <QStringList>

namespace copia {

constexpr int kDiarias = 7;
constexpr int kSemanais = 4;

// The lines of this mode in ulmaro-migra's usage text.
inline constexpr const char* kUso =
    "  ulmaro-migra copia [--de <ulmaro.mdb>] <destino.mdb | pasta>\n"
    "  ulmaro-migra copia [--de <ulmaro.mdb>] --diaria <pasta>";

int Copia(const QStringList& args);

}  // namespace copia
