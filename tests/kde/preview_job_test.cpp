// SPDX-License-Identifier: MIT
// KDE's own preview machinery end to end: KIO::PreviewJob starts kio-extras'
// `thumbnail` worker, which loads the plugin from the build tree (CTest sets
// QT_PLUGIN_PATH to it). Every sample's page must be the command line's at
// the same size, pixel for pixel, and a FIFO must fail without a hang.
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
#include <QGuiApplication>
#include <QImage>
#include <QMap>
#include <QPixmap>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "render/draw_skim.h"
#include "render/text_style.h"
#include "service/thumbnail_size.h"

namespace {

constexpr int requestSide = 256;
constexpr int pageWidth = 198;  // ceil(256 x pageAspect)
constexpr int colorTolerance = 3;
constexpr int timeoutMs = 60'000;
const QStringList plugins{QStringLiteral("tamselthumbnail")};

int failures = 0;

void check(bool ok, const QString& what) {
  if (ok) return;
  ++failures;
  std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
}

bool near(QRgb pixel, const tamsel::Color& color) {
  auto close = [](int actual, double wanted) {
    return std::abs(actual - static_cast<int>(std::lround(wanted * 255))) <= colorTolerance;
  };
  return close(qRed(pixel), color.red) && close(qGreen(pixel), color.green) &&
         close(qBlue(pixel), color.blue);
}

// Paper inside, the border around it, and ink somewhere in the title's box:
// the page, not an icon or a scaled copy.
void checkPage(const QString& name, const QImage& page) {
  check(page.width() == pageWidth && page.height() == requestSide,
        QStringLiteral("%1 is %2 x %3").arg(name).arg(page.width()).arg(page.height()));
  if (page.width() != pageWidth || page.height() != requestSide) return;
  const auto m = tamsel::pageMetrics(
      {.x = 0, .y = 0, .width = requestSide * tamsel::pageAspect, .height = requestSide});
  check(near(page.pixel(0, 128), tamsel::ruleColor) && near(page.pixel(99, 0), tamsel::ruleColor),
        name + QStringLiteral(": border"));
  check(
      near(page.pixel(5, 128), tamsel::paperColor) && near(page.pixel(99, 250), tamsel::paperColor),
      name + QStringLiteral(": paper"));
  bool ink = false;
  for (int y = static_cast<int>(m.topMargin); y < m.topMargin + m.titleSize; ++y) {
    for (int x = static_cast<int>(m.sideMargin); x < m.sideMargin + m.contentWidth; ++x) {
      ink = ink || qGray(page.pixel(x, y)) < 100;
    }
  }
  check(ink, name + QStringLiteral(": ink in the title"));
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
  bool timedOut = false;
  QTimer::singleShot(timeoutMs, &app, [&] {
    timedOut = true;
    QCoreApplication::quit();
  });
  app.exec();
  check(!timedOut, QStringLiteral("the preview job did not finish in time"));

  check(failed == QSet<QString>{QStringLiteral("waiting.md")},
        QStringLiteral("failed: %1").arg(QStringList(failed.values()).join(QStringLiteral(", "))));
  for (const QString& name : samples.entryList(QDir::Files)) {
    const QImage preview = previews.value(name);
    check(!preview.isNull(), QStringLiteral("no preview of %1").arg(name));
    if (preview.isNull()) continue;
    if (name.endsWith(QStringLiteral(".md")) || name.endsWith(QStringLiteral(".txt"))) {
      checkPage(name, preview);
    }
    const QImage expected = commandLinePage(program, documents.filePath(name),
                                            documents.filePath(name + QStringLiteral(".png")));
    check(preview.convertToFormat(QImage::Format_RGB32) ==
              expected.convertToFormat(QImage::Format_RGB32),
          QStringLiteral("%1 differs from the command line's page").arg(name));
  }
  if (failures == 0)
    std::printf("%lld previews, all the command line's pages\n",
                static_cast<long long>(previews.size()));
  return failures == 0 ? 0 : 1;
}
