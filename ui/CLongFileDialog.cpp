#include "ui/CLongFileDialog.h"

#include <cctype>

#include "platform/MessageBox.h"
#include "res/StringTable.h"

namespace {

constexpr unsigned IDS_PATH_TOO_LONG_SAVE = 10402;
constexpr unsigned IDS_PATH_TOO_LONG_OPEN = 10403;
constexpr unsigned IDS_BAD_EXTENSION = 10404;
constexpr unsigned IDS_LONG_NAME_NOTE = 10405;
constexpr int IDCANCEL = 2;

// "desc|patterns|desc|patterns||" as the dialog's name filters.
QStringList ParseFilter(const char* filter) {
  QStringList out;
  if (!filter) return out;
  const QStringList parts = QString::fromUtf8(filter).split(QLatin1Char('|'));
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString desc = parts[i];
    const QString patterns = QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '));
    if (desc.isEmpty() && patterns.isEmpty()) break;
    // The dialog reads the patterns from the last parentheses of the text.
    if (desc.endsWith(QLatin1Char(')')) && desc.contains(QStringLiteral("(") + patterns + QStringLiteral(")")))
      out << desc;
    else
      out << desc + QStringLiteral(" (") + patterns + QStringLiteral(")");
  }
  return out;
}

bool EndsWithNoCase(const std::string& path, const std::string& ending) {
  if (ending.size() > path.size()) return false;
  const std::size_t off = path.size() - ending.size();
  for (std::size_t i = 0; i < ending.size(); ++i) {
    const auto a = static_cast<unsigned char>(path[off + i]);
    const auto b = static_cast<unsigned char>(ending[i]);
    if (std::tolower(a) != std::tolower(b)) return false;
  }
  return true;
}

}  // namespace

CLongFileDialog::CLongFileDialog(BOOL bOpenFileDialog, const char* defaultExt, const char* fileName,
                                 DWORD flags, const char* filter, QWidget* parent, int maxPath,
                                 const char* extensions)
    : QFileDialog(parent),
      m_dwFlags(flags | OFN_ENABLESIZING),
      m_strDefExt(defaultExt ? defaultExt : ""),
      m_nMaxPath(maxPath),
      m_strExtensions(extensions ? extensions : ""),
      m_bOpenFileDialog(bOpenFileDialog),
      m_filters(ParseFilter(filter)) {
  // The platform's own dialog cannot be kept open from here, so a refused
  // name would close it anyway.
  setOption(QFileDialog::DontUseNativeDialog, true);
  setAcceptMode(bOpenFileDialog ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  if (!m_filters.isEmpty()) setNameFilters(m_filters);
  if (fileName && *fileName) selectFile(QString::fromUtf8(fileName));
}

void CLongFileDialog::ApplyRequest() {
  if (!m_strTitle.empty()) setWindowTitle(QString::fromUtf8(m_strTitle));
  setDefaultSuffix(QString::fromUtf8(m_strDefExt));
  if (m_bOpenFileDialog)
    setFileMode((m_dwFlags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  setOption(QFileDialog::ReadOnly, false);
  setSizeGripEnabled((m_dwFlags & OFN_ENABLESIZING) != 0);
  if (!m_filters.isEmpty()) {
    const int index = m_nFilterIndex >= 1 && m_nFilterIndex <= m_filters.size() ? m_nFilterIndex : 1;
    selectNameFilter(m_filters[index - 1]);
  }
}

int CLongFileDialog::DoModal() {
  ApplyRequest();
  const int result = exec();
  if (result != QDialog::Accepted) return IDCANCEL;
  const qsizetype index = m_filters.indexOf(selectedNameFilter());
  m_nFilterIndex = index >= 0 ? static_cast<int>(index) + 1 : 0;
  return IDOK;
}

std::string CLongFileDialog::GetPathName() const {
  const QStringList files = selectedFiles();
  return files.isEmpty() ? std::string() : files.front().toStdString();
}

void CLongFileDialog::accept() {
  if (OnFileNameOK()) return;
  QFileDialog::accept();
}

BOOL CLongFileDialog::OnFileNameOK() { return CheckPathName(GetPathName()); }

BOOL CLongFileDialog::CheckPathName(const std::string& path) const {
  if (m_nMaxPath > 0 && path.size() > static_cast<std::size_t>(m_nMaxPath)) {
    const unsigned id = m_bOpenFileDialog ? IDS_PATH_TOO_LONG_OPEN : IDS_PATH_TOO_LONG_SAVE;
    ShowMessageBox(FormatPrintf(LoadResString(id), path.c_str()), MB_OK);
    return TRUE;
  }
  if (m_strExtensions.empty()) return FALSE;

  std::size_t start = 0;
  for (;;) {
    const std::size_t sep = m_strExtensions.find(';', start);
    const std::string piece =
        m_strExtensions.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
    if (EndsWithNoCase(path, piece)) return FALSE;
    if (sep == std::string::npos) break;
    start = sep + 1;
  }

  std::string list = m_strExtensions;
  for (char& c : list)
    if (c == ';') c = ' ';
  // "%%" of the text stands for "%"; a path holding "%%" is shown as it is.
  const std::string format = LoadResString(IDS_BAD_EXTENSION);
  std::string message;
  for (std::size_t from = 0;;) {
    const std::size_t at = format.find("%%", from);
    message += FormatNumbered(format.substr(from, at == std::string::npos ? std::string::npos : at - from),
                              {path, list});
    if (at == std::string::npos) break;
    message += '%';
    from = at + 2;
  }
  // Long names are where the system is known to shorten paths.
  if (path.size() >= 255) message += "\r\n\r\n" + ResString(IDS_LONG_NAME_NOTE);
  ShowMessageBox(message, MB_OK);
  return TRUE;
}
