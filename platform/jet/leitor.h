#pragma once
// The child's half of jet::LeTabela: walks the file with libmdb and writes
// raw values to a pipe. Internal to platform/jet.
//
// The stream is a series of messages: a kind byte, a 32-bit little-endian
// length, then the payload.
//   'T' the user tables: for each, a 16-bit length and the UTF-8 name
//   'C' the table read: name, 32-bit row count, 16-bit column count, then for
//       each column its type byte and name
//   'R' a row: for each column a byte 0 (Null) or 1, then a 32-bit length and
//       the raw bytes (a Boolean's one byte; a Memo's whole text)
//   'E' the end; 'X' a failure, its payload one of the words below
namespace jet::leitor {

inline constexpr char kTabelas = 'T', kCabecalho = 'C', kLinha = 'R', kFim = 'E', kFalha = 'X';

// Failures the child reports.
inline constexpr const char* kNaoAbre = "abrir";      // libmdb refused the file
inline constexpr const char* kJet3 = "jet3";          // an Access 97 file
inline constexpr const char* kCatalogo = "catalogo";  // no readable catalogue
inline constexpr const char* kSemTabela = "tabela";   // the table is not there
inline constexpr const char* kDefinicao = "definicao";
inline constexpr const char* kLinhaRuim = "linha";    // a row or memo outside its page

// Reads table `tabela` of `arquivo`, writing to fd, and ends the process.
[[noreturn]] void Executa(int fd, const char* arquivo, const char* tabela);

}  // namespace jet::leitor
