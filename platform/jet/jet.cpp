#include "platform/jet/jet.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QtEndian>
#include <cmath>

#include "platform/jet/leitor.h"

namespace jet {

Formato FormatoDe(const QString& arquivo) {
  QFile f(arquivo);
  if (!f.open(QIODevice::ReadOnly)) return Formato::Nenhum;
  const QByteArray c = f.read(0x18);
  if (c.size() < 0x18 || !c.startsWith(QByteArray("\x00\x01\x00\x00", 4))) return Formato::Nenhum;
  const QByteArray assinatura = c.mid(4, 16);
  if (assinatura == QByteArray("Standard ACE DB\0", 16)) return Formato::Ace;
  if (assinatura != QByteArray("Standard Jet DB\0", 16)) return Formato::Nenhum;
  return c[0x14] == 0 ? Formato::Jet3 : Formato::Jet4;
}

QString TextoDe(const QByteArray& b) {
  const auto* p = reinterpret_cast<const uchar*>(b.constData());
  const qsizetype n = b.size();
  QString s;
  if (n >= 2 && p[0] == 0xff && p[1] == 0xfe) {
    s.reserve(n);
    bool comprimido = true;
    for (qsizetype i = 2; i < n;) {
      if (p[i] == 0) {
        comprimido = !comprimido;
        ++i;
      } else if (comprimido) {
        s += QChar(p[i++]);
      } else if (i + 1 < n) {
        s += QChar(qFromLittleEndian<quint16>(p + i));
        i += 2;
      } else {
        break;
      }
    }
    return s;
  }
  s.resize(n / 2);
  for (qsizetype i = 0; i < n / 2; ++i) s[i] = QChar(qFromLittleEndian<quint16>(p + 2 * i));
  return s;
}

QDateTime DataHoraDe(double dias) {
  if (!std::isfinite(dias) || std::fabs(dias) > 3e6) return {};
  // Before 1899-12-30 the whole part counts back and the fraction still runs forward.
  double inteiro = std::trunc(dias);
  qint64 ms = std::llround(std::fabs(dias - inteiro) * 86400000.0);
  if (ms >= 86400000) {
    ms -= 86400000;
    inteiro += 1;
  }
  const QDate d = QDate(1899, 12, 30).addDays(qint64(inteiro));
  if (d.year() < 100 || d.year() > 9999) return {};
  return QDateTime(d, QTime::fromMSecsSinceStartOfDay(int(ms)), Qt::LocalTime);
}

namespace {

constexpr int kEsperaMs = 60000;  // a child that sends nothing for this long is stuck

// The file's name and the cause, as one sentence.
Erro Falha(const QString& arquivo, const QString& causa) {
  return Erro(QStringLiteral("O arquivo do Access %1 %2").arg(arquivo, causa));
}

QString Motivo(const QByteArray& palavra, const QString& tabela, const QStringList& tabelas) {
  if (palavra == leitor::kJet3)
    return QStringLiteral("é do Access 97 (Jet 3), que a conversão não lê; abra-o no Access e salve-o no formato "
                          "do Access 2000-2003");
  if (palavra == leitor::kSemTabela)
    return QStringLiteral("não tem a tabela %1 (tem: %2)")
        .arg(tabela, tabelas.isEmpty() ? QStringLiteral("nenhuma") : tabelas.join(QStringLiteral(", ")));
  if (palavra == leitor::kLinhaRuim) return QStringLiteral("está danificado (uma linha da tabela %1 não pôde ser lida)").arg(tabela);
  return QStringLiteral("está danificado ou não é um banco de dados do Access (%1)").arg(QString::fromLatin1(palavra));
}

// The child process and the reading end of its pipe; killed and reaped when
// the reading stops early.
class Filho {
 public:
  Filho(const QString& arquivo, const QString& tabela) : arquivo_(arquivo) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw Falha(arquivo, QStringLiteral("não pôde ser lido (pipe)"));
    const QByteArray a = QFile::encodeName(arquivo), t = tabela.toUtf8();
    pid_ = fork();
    if (pid_ == 0) {
      close(fds[0]);
      leitor::Executa(fds[1], a.constData(), t.constData());
    }
    close(fds[1]);
    fd_ = fds[0];
    if (pid_ < 0) {
      close(fd_);
      throw Falha(arquivo, QStringLiteral("não pôde ser lido (fork)"));
    }
  }
  ~Filho() {
    close(fd_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Espera();
    }
  }
  // The status of the ended child.
  int Espera() {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }
  // Fills buf with exactly n bytes; false at the end of the stream.
  bool Le(char* buf, size_t n) {
    for (size_t feito = 0; feito < n;) {
      pollfd p{fd_, POLLIN, 0};
      const int r = poll(&p, 1, kEsperaMs);
      if (r < 0 && errno == EINTR) continue;
      if (r == 0) throw Falha(arquivo_, QStringLiteral("não pôde ser lido: a leitura parou por mais de um minuto"));
      const ssize_t k = read(fd_, buf + feito, n - feito);
      if (k < 0 && errno == EINTR) continue;
      if (k <= 0) return false;
      feito += size_t(k);
    }
    return true;
  }

 private:
  QString arquivo_;
  pid_t pid_ = -1;
  int fd_ = -1;
};

// Reads the payload of a message through its fields, refusing to run past it.
class Mensagem {
 public:
  Mensagem(QByteArray b, const QString& arquivo) : b_(std::move(b)), arquivo_(arquivo) {}
  quint32 N(int bytes) {
    Precisa(bytes);
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i) v |= quint32(uchar(b_[pos_ + i])) << (8 * i);
    pos_ += bytes;
    return v;
  }
  QByteArray Bytes(quint32 n) {
    Precisa(qsizetype(n));
    pos_ += n;
    return b_.mid(pos_ - n, n);
  }
  QString Nome() { return QString::fromUtf8(Bytes(N(2))); }
  bool Fim() const { return pos_ == b_.size(); }

 private:
  void Precisa(qsizetype n) {
    if (n > b_.size() - pos_) throw Falha(arquivo_, QStringLiteral("está danificado (leitura incompleta)"));
  }
  QByteArray b_;
  QString arquivo_;
  qsizetype pos_ = 0;
};

QVariant Valor(int tipo, const QByteArray& b) {
  const auto* p = reinterpret_cast<const uchar*>(b.constData());
  const auto tem = [&](qsizetype n) { return b.size() >= n; };
  switch (tipo) {
    case Booleano:
    case Byte: if (tem(1)) return qint64(p[0]); break;
    case Inteiro: if (tem(2)) return qint64(qFromLittleEndian<qint16>(p)); break;
    case Longo: if (tem(4)) return qint64(qFromLittleEndian<qint32>(p)); break;
    case Simples: if (tem(4)) return double(qFromLittleEndian<float>(p)); break;
    case Duplo: if (tem(8)) return qFromLittleEndian<double>(p); break;
    case DataHora:
      if (tem(8)) {
        const double d = qFromLittleEndian<double>(p);
        const QDateTime dt = DataHoraDe(d);
        return dt.isValid() ? QVariant(dt) : QVariant(d);
      }
      break;
    case Texto:
    case Memo: return TextoDe(b);
    default: return b;
  }
  return b;
}

}  // namespace

void LeTabela(const QString& arquivo, const QString& nome, const std::function<void(const Tabela&)>& aoAbrir,
              const std::function<bool(const Linha&)>& aoLer) {
  Filho filho(arquivo, nome);
  QStringList tabelas;
  Tabela tabela;
  for (;;) {
    char cabeca[5];
    if (!filho.Le(cabeca, 5)) break;
    const quint32 n = qFromLittleEndian<quint32>(cabeca + 1);
    if (n > (1u << 30)) throw Falha(arquivo, Motivo("mensagem", nome, tabelas));
    QByteArray corpo(qsizetype(n), Qt::Uninitialized);
    if (!filho.Le(corpo.data(), n)) break;
    Mensagem m(std::move(corpo), arquivo);
    switch (cabeca[0]) {
      case leitor::kTabelas:
        while (!m.Fim()) tabelas << m.Nome();
        break;
      case leitor::kCabecalho: {
        tabela.nome = m.Nome();
        tabela.linhas = m.N(4);
        for (quint32 i = 0, k = m.N(2); i < k; ++i) {
          const int tipo = int(m.N(1));
          tabela.colunas << Coluna{m.Nome(), tipo};
        }
        aoAbrir(tabela);
        break;
      }
      case leitor::kLinha: {
        Linha linha;
        linha.reserve(tabela.colunas.size());
        for (const Coluna& c : std::as_const(tabela.colunas))
          linha << (m.N(1) ? Valor(c.tipo, m.Bytes(m.N(4))) : QVariant());
        if (!aoLer(linha)) return;
        break;
      }
      case leitor::kFim:
        if (filho.Espera() == 0) return;
        throw Falha(arquivo, Motivo("fim", nome, tabelas));
      case leitor::kFalha:
        filho.Espera();
        throw Falha(arquivo, Motivo(m.Bytes(n), nome, tabelas));
      default:
        throw Falha(arquivo, Motivo("mensagem", nome, tabelas));
    }
  }
  // The stream ended without its last message: the child died.
  const int status = filho.Espera();
  throw Falha(arquivo, Motivo(WIFSIGNALED(status) ? "sinal " + QByteArray::number(WTERMSIG(status)) : QByteArray("interrompido"),
                    nome, tabelas));
}

}  // namespace jet
