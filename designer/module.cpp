// The plugin Qt Designer and QUiLoader load.
#include "designer/plugin.h"

class TrivexPlugin : public TrivexWidgets {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID "org.qt-project.Qt.QDesignerCustomWidgetCollectionInterface")
 public:
  using TrivexWidgets::TrivexWidgets;
};

#include "module.moc"
