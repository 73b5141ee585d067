// The file dialogs on QFileDialog behind a replaceable chooser. The save dialog
// asks no overwrite question: the pages ask their own.
#include "GUI2/file_dialog.h"

#include "GUI2/gui_thread.h"
#include "TK/tk_exception.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <mutex>

namespace {

std::mutex chooser_mutex;
file_chooser chooser_override;

QString current_folder()
{
  return QDir::currentPath();
}

QString desktop_chooser(const file_dialog_request& request)
{
  const QString start =
      request.file_name.isEmpty() ? request.folder : request.folder + QLatin1Char('/') + request.file_name;
  if (request.save)
    return QFileDialog::getSaveFileName(request.owner, request.title, start, request.filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  return QFileDialog::getOpenFileName(request.owner, request.title, start, request.filter);
}

} // namespace

QString qt_file_filter(const std::wstring& filters)
{
  const QStringList parts = QString::fromStdWString(filters).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) {
      pattern = pattern.trimmed();
      if (pattern == QLatin1String("*.*"))
        pattern = QStringLiteral("*");
    }
    entries << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return entries.join(QStringLiteral(";;"));
}

std::wstring with_default_extension(const std::wstring& path, const std::wstring& extension)
{
  if (extension.empty() || path.find(extension) != std::wstring::npos)
    return path;
  return path + extension;
}

std::wstring profile_filters(const std::wstring& extension)
{
  return L"Profile Files (." + extension + L")|*." + extension + L"|All Files (*.*)|*.*|";
}

std::wstring profile_start_path(const std::wstring& last_folder)
{
  std::wstring folder = last_folder;
  if (folder.empty() || !QFileInfo(QString::fromStdWString(folder)).isDir())
    folder = current_folder().toStdWString();
  return folder.back() == L'/' ? folder : folder + L'/';
}

std::wstring profile_folder_of(const std::wstring& profile_path)
{
  return QFileInfo(QString::fromStdWString(profile_path)).absolutePath().toStdWString();
}

void set_file_chooser(file_chooser chooser)
{
  const std::lock_guard lock(chooser_mutex);
  chooser_override = std::move(chooser);
}

file_dialog::file_dialog(QWidget* owner, const std::wstring& filters, const std::wstring& title,
                         const std::wstring& initial_path)
{
  request_.owner = owner;
  request_.title = QString::fromStdWString(title);
  request_.filter = qt_file_filter(filters);
  const QFileInfo initial(QString::fromStdWString(initial_path));
  const bool has_folder = !initial_path.empty() && initial_path.find(L'/') != std::wstring::npos;
  request_.folder = has_folder ? initial.path() : current_folder();
  request_.file_name = initial_path.empty() ? QString() : initial.completeBaseName();
}

bool file_dialog::choose()
{
  file_chooser chooser;
  {
    const std::lock_guard lock(chooser_mutex);
    chooser = chooser_override;
  }
  QString chosen;
  gui::run_on_gui_thread([&] { chosen = chooser ? chooser(request_) : desktop_chooser(request_); });
  if (chosen.isEmpty())
    return false;
  path_ = chosen.toStdWString();
  return true;
}

bool open_file_dialog::show()
{
  request_.save = false;
  return choose();
}

save_file_dialog::save_file_dialog(QWidget* owner, const std::wstring& filters, const std::wstring& title,
                                   const std::wstring& initial_path, const wchar_t* extension)
    : file_dialog(owner, filters, title, initial_path)
{
  if (extension == nullptr)
    throw tk_mail_assertion("g_f_dlg", 111);
  extension_ = extension[0] == L'.' ? std::wstring(extension) : L"." + std::wstring(extension);
}

bool save_file_dialog::show()
{
  request_.save = true;
  if (!choose())
    return false;
  path_ = with_default_extension(path_, extension_);
  return true;
}
