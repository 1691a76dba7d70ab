#include "platform/url_opener.h"

#include <QProcess>

namespace platform {

void OpenWithDesktop(const QString& url) {
  // As one argument, never through a shell.
  QProcess::startDetached(QStringLiteral("xdg-open"), {url});
}

}  // namespace platform
