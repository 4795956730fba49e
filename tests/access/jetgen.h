#pragma once
// Writes Access (Jet 4) files for the tests, after the file format as the
// mdbtools project documents it: page 0 (its header block RC4-masked with the
// format's fixed key), one page of usage maps, the catalogue MSysObjects
// (definition on page 2), then each table's definition, data pages and
// long-value pages. Text is stored compressed whenever it can be; a Memo stays
// in its row when short, else in one long-value row, else in a chain of them.
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>
#include <QtEndian>
#include <stdexcept>

namespace jetgen {

enum Tipo : quint8 { Byte = 2, Inteiro = 3, Longo = 4, Duplo = 7, DataHora = 8, Texto = 10, Memo = 12 };
struct Coluna {
  QString nome;
  Tipo tipo;
};
// Values: a null QVariant, an integer, a double, a QDateTime (local time) or a QString.
struct Tabela {
  QString nome;
  QList<Coluna> colunas;
  QList<QVariantList> linhas;
};

namespace detail {

constexpr int kPg = 4096;

inline void Put(QByteArray& b, int pos, quint64 v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[pos + i] = char(v >> (8 * i));
}
inline void Add(QByteArray& b, quint64 v, int bytes) {
  b.append(bytes, '\0');
  Put(b, int(b.size()) - bytes, v, bytes);
}

inline QByteArray TextoJet(const QString& s, bool podeComprimir = true) {
  bool latin = podeComprimir;
  for (QChar c : s) latin = latin && c.unicode() > 0 && c.unicode() < 0x100;
  QByteArray b;
  if (latin) return "\xff\xfe" + s.toLatin1();
  for (QChar c : s) Add(b, c.unicode(), 2);
  return b;
}

inline int Tamanho(Tipo t) { return t == Byte ? 1 : t == Inteiro ? 2 : t == Longo ? 4 : t == Duplo || t == DataHora ? 8 : 0; }

class Gerador {
 public:
  Gerador() {
    paginas_.resize(4, QByteArray(kPg, '\0'));
    QByteArray& p0 = paginas_[0];
    Put(p0, 0, 0x100, 4);
    p0.replace(4, 16, QByteArray("Standard Jet DB\0", 16));
    Put(p0, 0x14, 1, 4);  // Jet 4
    QByteArray claro(128, '\0');
    Put(claro, 0x3c - 0x18, 1252, 2);   // code page
    Put(claro, 0x6e - 0x18, 0x409, 2);  // sort order; the key at 0x3e stays 0: not encrypted
    Rc4(claro);
    p0.replace(0x18, 128, claro);
    Dados(1, 0);  // page 1: the usage maps
  }

  QByteArray Arquivo(const QList<Tabela>& tabelas) {
    const QList<Coluna> msys{{"Id", Longo}, {"Name", Texto}, {"Type", Inteiro}, {"Flags", Longo}, {"LvProp", Memo}};
    QList<QVariantList> catalogo{{2, "MSysObjects", 1, qint64(0x80000002)}};
    QList<QList<int>> dados{{}};
    for (const Tabela& t : tabelas) {
      const int tdef = Nova();
      catalogo.append(QVariantList{tdef, t.nome, 1, 0});
      dados.append(Linhas(tdef, t.colunas, t.linhas));
      Definicao(tdef, t.colunas, int(t.linhas.size()), int(dados.size()) - 1);
    }
    dados[0] = Linhas(2, msys, catalogo, 3);
    Definicao(2, msys, int(catalogo.size()), 0);
    for (const QList<int>& paginas : dados) {  // usage maps, in table order
      QByteArray mapa(5 + (paginas_.size() + 7) / 8, '\0');
      for (int p : paginas) mapa[5 + p / 8] = char(mapa[5 + p / 8] | (1 << (p % 8)));
      if (Linha(1, mapa) < 0) throw std::length_error("usage maps do not fit on one page");
    }
    return paginas_.join();
  }

 private:
  static void Rc4(QByteArray& b) {
    uchar s[256];
    const uchar chave[4] = {0xc7, 0xda, 0x39, 0x6b};
    for (int i = 0; i < 256; ++i) s[i] = uchar(i);
    for (int i = 0, j = 0; i < 256; ++i) {
      j = (j + s[i] + chave[i % 4]) & 0xff;
      std::swap(s[i], s[j]);
    }
    for (int k = 0, i = 0, j = 0; k < b.size(); ++k) {
      i = (i + 1) & 0xff;
      j = (j + s[i]) & 0xff;
      std::swap(s[i], s[j]);
      b[k] = char(uchar(b[k]) ^ s[(s[i] + s[j]) & 0xff]);
    }
  }
  int Nova() {
    paginas_.append(QByteArray(kPg, '\0'));
    return int(paginas_.size()) - 1;
  }
  void Dados(int p, quint32 dono) {  // dono: the table's definition page, or "LVAL"
    paginas_[p][0] = 1;
    paginas_[p][1] = 1;
    Put(paginas_[p], 4, dono, 4);
    Put(paginas_[p], 2, kPg - 14, 2);
  }
  // Adds a row at the end of page p's rows; its number, or -1 when it does not fit.
  int Linha(int p, const QByteArray& r) {
    QByteArray& pg = paginas_[p];
    const int n = qFromLittleEndian<quint16>(pg.constData() + 12);
    const int fim = n ? qFromLittleEndian<quint16>(pg.constData() + 14 + 2 * (n - 1)) : kPg;
    const int inicio = fim - int(r.size());
    if (inicio < 14 + 2 * (n + 1)) return -1;
    pg.replace(inicio, r.size(), r);
    Put(pg, 14 + 2 * n, quint32(inicio), 2);
    Put(pg, 12, quint32(n + 1), 2);
    Put(pg, 2, quint32(inicio - 14 - 2 * (n + 1)), 2);
    return n;
  }
  // A long value in a page of its own: its page and row.
  quint32 Longo_(const QByteArray& r) {
    const int p = Nova();
    Dados(p, 0x4c41564c);  // "LVAL"
    return quint32(p) << 8 | quint32(Linha(p, r));
  }
  QByteArray MemoJet(const QString& s) {
    const QByteArray t = TextoJet(s, s.size() <= 1024);
    QByteArray m;
    if (t.size() <= 1000) {
      Add(m, quint32(t.size()) | 0x80000000, 4);
      Add(m, 0, 8);
      return m + t;
    }
    constexpr int kPedaco = 3900;
    if (t.size() <= kPedaco) {
      Add(m, quint32(t.size()) | 0x40000000, 4);
      Add(m, Longo_(t), 4);
    } else {  // a chain, written from its end
      quint32 proximo = 0;
      for (qsizetype i = (t.size() - 1) / kPedaco * kPedaco; i >= 0; i -= kPedaco) {
        QByteArray r;
        Add(r, proximo, 4);
        proximo = Longo_(r + t.mid(i, kPedaco));
      }
      Add(m, quint32(t.size()), 4);
      Add(m, proximo, 4);
    }
    Add(m, 0, 4);
    return m;
  }
  QByteArray Valor(Tipo t, const QVariant& v) {
    QByteArray b;
    if (t == Texto) return TextoJet(v.toString());
    if (t == Memo) return MemoJet(v.toString());
    if (t == DataHora) {
      const QDateTime d = v.toDateTime();
      const double dias = double(QDate(1899, 12, 30).daysTo(d.date())) + d.time().msecsSinceStartOfDay() / 86400000.0;
      Add(b, 0, 8);
      qToLittleEndian(dias, b.data());
    } else if (t == Duplo) {
      Add(b, 0, 8);
      qToLittleEndian(v.toDouble(), b.data());
    } else {
      Add(b, quint32(v.toLongLong()), Tamanho(t));
    }
    return b;
  }
  QList<int> Linhas(int tdef, const QList<Coluna>& cols, const QList<QVariantList>& linhas, int primeira = 0) {
    QList<int> paginas;
    int atual = primeira;
    if (atual) Dados(atual, quint32(tdef));
    for (const QVariantList& l : linhas) {
      QByteArray fixos, r, mascara((cols.size() + 7) / 8, '\0');
      QList<int> deslocamentos;
      for (int i = 0; i < cols.size(); ++i)
        if (Tamanho(cols[i].tipo)) fixos.append(Tamanho(cols[i].tipo), '\0');
      Add(r, quint32(cols.size()), 2);
      for (int i = 0, f = 0; i < cols.size(); ++i) {
        const bool nulo = i >= l.size() || l[i].isNull();
        if (!nulo) mascara[i / 8] = char(mascara[i / 8] | (1 << (i % 8)));
        if (const int n = Tamanho(cols[i].tipo)) {
          if (!nulo) fixos.replace(f, n, Valor(cols[i].tipo, l[i]));
          f += n;
        }
      }
      r += fixos;
      for (int i = 0; i < cols.size(); ++i) {
        if (Tamanho(cols[i].tipo)) continue;
        deslocamentos << int(r.size());
        if (i < l.size() && !l[i].isNull()) r += Valor(cols[i].tipo, l[i]);
      }
      Add(r, quint32(r.size()), 2);
      for (qsizetype v = deslocamentos.size() - 1; v >= 0; --v) Add(r, quint32(deslocamentos[v]), 2);
      Add(r, quint32(deslocamentos.size()), 2);
      r += mascara;
      if (!atual || Linha(atual, r) < 0) {
        atual = Nova();
        Dados(atual, quint32(tdef));
        if (Linha(atual, r) < 0) throw std::length_error("row larger than a page");
      }
      if (paginas.isEmpty() || paginas.last() != atual) paginas << atual;
    }
    return paginas;
  }
  void Definicao(int p, const QList<Coluna>& cols, int linhas, int mapa) {
    QByteArray& d = paginas_[p];
    d[0] = 2;
    d[1] = 1;
    int var = 0, fixo = 0, pos = 63;
    for (const Coluna& c : cols) var += Tamanho(c.tipo) ? 0 : 1;
    Put(d, 16, quint32(linhas), 4);
    d[40] = p == 2 ? 0x53 : 0x4e;
    Put(d, 41, quint32(cols.size()), 2);
    Put(d, 43, quint32(var), 2);
    Put(d, 45, quint32(cols.size()), 2);
    Put(d, 55, 1u << 8 | quint32(mapa), 4);  // usage map: page 1, row mapa
    Put(d, 59, 1u << 8 | quint32(mapa), 4);
    var = 0;
    for (int i = 0; i < cols.size(); ++i, pos += 25) {
      const int n = Tamanho(cols[i].tipo);
      d[pos] = char(cols[i].tipo);
      Put(d, pos + 5, quint32(i), 2);
      Put(d, pos + 7, quint32(n ? 0 : var++), 2);
      Put(d, pos + 9, quint32(i), 2);
      if (cols[i].tipo == Texto || cols[i].tipo == Memo) Put(d, pos + 11, 0x409, 2);
      d[pos + 15] = char(n ? 0x03 : 0x02);
      d[pos + 16] = char(cols[i].tipo == Texto || cols[i].tipo == Memo ? 1 : 0);
      Put(d, pos + 21, quint32(n ? fixo : 0), 2);
      Put(d, pos + 23, quint32(cols[i].tipo == Texto ? 510 : n), 2);
      fixo += n;
    }
    for (const Coluna& c : cols) {
      const QByteArray nome = TextoJet(c.nome, false);
      Put(d, pos, quint32(nome.size()), 2);
      d.replace(pos + 2, nome.size(), nome);
      pos += 2 + int(nome.size());
    }
    if (pos > kPg) throw std::length_error("table definition larger than a page");
    Put(d, 8, quint32(pos - 8), 4);
  }

  QList<QByteArray> paginas_;
};

}  // namespace detail

inline QByteArray Arquivo(const QList<Tabela>& tabelas) { return detail::Gerador().Arquivo(tabelas); }

}  // namespace jetgen
