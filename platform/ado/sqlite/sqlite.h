#pragma once
// The file engine's own handle, for benchmarks and tests that step SQL
// beside the data objects. The data objects themselves never need it.
struct sqlite3;

namespace ado {
class Connection;
namespace sqlite {

// The open file's handle; null on a server or when the connection is closed.
sqlite3* Handle(const Connection& connection);

}  // namespace sqlite
}  // namespace ado
