// The wizard tests' main: Qt's offscreen platform unless one is chosen, private
// settings and runtime folders, the QApplication, then GoogleTest.
#include "support/temp_dir.h"

#include <QApplication>
#include <QByteArray>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

QtMessageHandler qt_default_output = nullptr;

// The offscreen platform has no window manager to take a window's size limits
// and says so each time the wizard's minimum size changes; nothing else is kept back.
void drop_size_hint_notes(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
  if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
    return;
  qt_default_output(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
  qt_default_output = qInstallMessageHandler(drop_size_hint_notes);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  // A wizard's converter keeps its settings under the user's configuration
  // folder: the tests (and the programs they start) keep theirs apart.
  const temp_dir home;
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.file("config")));
  const std::string runtime = home.file("runtime");
  std::filesystem::create_directory(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));

  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
