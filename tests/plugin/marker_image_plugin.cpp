// A real image-format plugin that leaves a file named "plugin-loaded" in the working directory
// when Qt loads it: what a page would plant if the cache could write beside the shell.
#include <QFile>
#include <QImageIOPlugin>

namespace {
void LeaveMarker() {
  QFile marker("plugin-loaded");
  marker.open(QIODevice::WriteOnly | QIODevice::Append);
}
const bool kMarkedOnLoad = (LeaveMarker(), true);
}  // namespace

class MarkerImagePlugin : public QImageIOPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "marker_image_plugin.json")

 public:
  MarkerImagePlugin() { LeaveMarker(); }
  Capabilities capabilities(QIODevice*, const QByteArray&) const override { return {}; }
  QImageIOHandler* create(QIODevice*, const QByteArray&) const override { return nullptr; }
};

#include "marker_image_plugin.moc"
