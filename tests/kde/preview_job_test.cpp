// SPDX-License-Identifier: MIT
// KDE's own preview machinery end to end: KIO::PreviewJob starts kio-extras'
// `thumbnail` worker, which loads the plugin from the build tree (CTest sets
// QT_PLUGIN_PATH to it). Every sample's page must be the command line's at
// the same size, pixel for pixel (the command line's pages are checked
// elsewhere), and a FIFO must fail without a hang.
//
//   test_kde_preview_job TAMSEL_THUMBNAIL SAMPLES_DIR
//
// Exit status 0 when every check passes, 77 when the thumbnail worker is
// not installed, 1 otherwise.
#include <sys/stat.h>

#include <KFileItem>
#include <KIO/PreviewJob>
#include <KProtocolInfo>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPixmap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int requestSide = 256;
constexpr int timeoutMs = 60'000;
const QStringList plugins{QStringLiteral("tamselthumbnail")};

int failures = 0;

void check(bool ok, const QString& what) {
  if (ok) return;
  ++failures;
  std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
}

QImage commandLinePage(const QString& program, const QString& input, const QString& output) {
  const int status = QProcess::execute(
      program, {QStringLiteral("-s"), QString::number(requestSide), input, output});
  check(status == 0, QStringLiteral("command line on %1 exited %2").arg(input).arg(status));
  return QImage(output);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s TAMSEL_THUMBNAIL SAMPLES_DIR\n", argv[0]);
    return 1;
  }
  // The cache, settings and worker sockets of this run only, so nothing from
  // earlier runs or the user's preview settings takes part.
  QTemporaryDir scratch;
  const QString home = scratch.path();
  qputenv("XDG_CACHE_HOME", QFile::encodeName(home + QStringLiteral("/cache")));
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home));
  QGuiApplication app(argc, argv);
  if (!KProtocolInfo::isKnownProtocol(QStringLiteral("thumbnail"))) {
    std::fprintf(stderr, "SKIPPED: KIO has no thumbnail worker (Debian: kio-extras)\n");
    return 77;
  }

  const QString program = QString::fromLocal8Bit(argv[1]);
  const QDir samples(QString::fromLocal8Bit(argv[2]));
  const QDir documents(home);
  KFileItemList items;
  for (const QString& name : samples.entryList(QDir::Files)) {
    QFile::copy(samples.filePath(name), documents.filePath(name));
    items.append(KFileItem(QUrl::fromLocalFile(documents.filePath(name))));
  }
  // Named as Markdown: the job would fail a FIFO's own type (inode/fifo)
  // itself, for want of a plugin, without asking ours.
  const QString fifo = documents.filePath(QStringLiteral("waiting.md"));
  check(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0, QStringLiteral("mkfifo"));
  items.append(KFileItem(QUrl::fromLocalFile(fifo), QStringLiteral("text/markdown"), S_IFIFO));

  QMap<QString, QImage> previews;
  QSet<QString> failed;
  auto* job = new KIO::PreviewJob(items, QSize(requestSide, requestSide), &plugins);
  QObject::connect(job, &KIO::PreviewJob::gotPreview,
                   [&](const KFileItem& item, const QPixmap& pixmap) {
                     previews.insert(item.name(), pixmap.toImage());
                   });
  QObject::connect(job, &KIO::PreviewJob::failed,
                   [&](const KFileItem& item) { failed.insert(item.name()); });
  QObject::connect(job, &KJob::result, &app, &QCoreApplication::quit);
  QElapsedTimer clock;
  clock.start();
  bool timedOut = false;
  QTimer::singleShot(timeoutMs, &app, [&] {
    timedOut = true;
    QCoreApplication::quit();
  });
  app.exec();
  const qint64 elapsed = clock.elapsed();
  check(!timedOut, QStringLiteral("the preview job did not finish in time"));

  check(failed == QSet<QString>{QStringLiteral("waiting.md")},
        QStringLiteral("failed: %1").arg(QStringList(failed.values()).join(QStringLiteral(", "))));
  for (const QString& name : samples.entryList(QDir::Files)) {
    const QImage preview = previews.value(name);
    check(!preview.isNull(), QStringLiteral("no preview of %1").arg(name));
    if (preview.isNull()) continue;
    const QImage expected = commandLinePage(program, documents.filePath(name),
                                            documents.filePath(name + QStringLiteral(".png")));
    check(preview.convertToFormat(QImage::Format_RGB32) ==
              expected.convertToFormat(QImage::Format_RGB32),
          QStringLiteral("%1 differs from the command line's page").arg(name));
  }
  if (failures == 0) {
    std::printf("%lld previews, all the command line's pages, in %lld ms\n",
                static_cast<long long>(previews.size()), static_cast<long long>(elapsed));
  }
  return failures == 0 ? 0 : 1;
}
