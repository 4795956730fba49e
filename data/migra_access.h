#pragma once
// ulmaro-migra's modes for an office whose clients are in an Access file:
//
//   ulmaro-migra access-para-arquivo <access.mdb> [<novo.mdb>]
//   ulmaro-migra access-para-servidor <access.mdb> [--servidor <conexão>] [--acrescentar]
//
// To a file: without <novo.mdb>, in place, as the program's own start does
// (the Access file is kept beside it as <nome>-access.mdb); else into a new
// file, refused when it exists. To the server: the rows go through the
// para-servidor mode, with its rules and report. Same exit status as the
// other modes: 0 all copied, 1 some rows refused, 2 nothing copied.
#include <QString>
#include <QStringList>

// The lines of these modes in ulmaro-migra's usage text.
inline constexpr const char* kUsoAccess =
    "  ulmaro-migra access-para-arquivo <access.mdb> [<novo.mdb>]\n"
    "  ulmaro-migra access-para-servidor <access.mdb> [--servidor <conexão>] [--acrescentar]\n"
    "(sem <novo.mdb>, o arquivo do Access é convertido no lugar)";

// The exit status, or -1 when args[0] names none of these modes.
int MigraAccess(const QStringList& args, const QString& servidor, bool acrescentar);
