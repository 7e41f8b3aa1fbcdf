// The file dialog with two checks on the chosen name, made before the dialog
// closes: the full path must fit a byte limit and end in one of the accepted
// extensions. A refused name keeps the dialog open with the name in place.
#pragma once

#include <QFileDialog>
#include <string>

#include "platform/WinTypes.h"

// Request flags understood by the dialog.
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_ENABLESIZING = 0x00800000;

class CLongFileDialog : public QFileDialog {
  Q_OBJECT

 public:
  // filter is "description|patterns|...||"; maxPath counts bytes (0 or less:
  // no limit); extensions are ";"-separated endings (empty: no check).
  CLongFileDialog(BOOL bOpenFileDialog, const char* defaultExt, const char* fileName, DWORD flags,
                  const char* filter, QWidget* parent, int maxPath, const char* extensions);

  // The request, adjusted by the caller before DoModal.
  DWORD m_dwFlags = 0;
  std::string m_strTitle;
  std::string m_strDefExt;
  int m_nFilterIndex = 0;  // 1-based; 0 = the first

  int m_nMaxPath;
  std::string m_strExtensions;

  // Applies the request and runs the dialog; IDOK or IDCANCEL (2).
  int DoModal();
  std::string GetPathName() const;

  // Returns TRUE to refuse the chosen name (after telling the user why).
  virtual BOOL OnFileNameOK();
  // The two checks on one path; TRUE = refused.
  BOOL CheckPathName(const std::string& path) const;

  BOOL IsOpenDialog() const { return m_bOpenFileDialog; }

 public slots:
  void accept() override;

 private:
  void ApplyRequest();

  BOOL m_bOpenFileDialog;
  QStringList m_filters;
};
