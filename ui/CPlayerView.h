// The main frame's only pane and the player's controller: embeds the movie
// window, turns transport commands into movie operations and decides when
// each is enabled, opens and closes movies, shows the movie window's
// notifications in the frame, fits the frame around the movie, paints the
// logo while no picture shows, and deletes a movie the command line marked
// as temporary.
#pragma once

#include <QImage>
#include <QWidget>
#include <string>

#include "engine/WYXScrollMovieWnd.h"
#include "platform/WinTypes.h"
#include "ui/CCmdUI.h"

class CMainFrame;
class CPlayerConfig;
class QMenu;

// Files this large are read through the player's own index and may not play
// right.
constexpr long long kLargeMovieBytes = 1073741824LL;

class CPlayerView : public QWidget, public CCmdTarget {
  Q_OBJECT

 public:
  CPlayerView(CPlayerConfig& config, CMainFrame* pFrame, QWidget* pParent = nullptr);
  ~CPlayerView() override;

  // The first update, run by the frame once it is built.
  void OnInitialUpdate();

  BOOL OpenMovie(const char* pszPath);
  void ReplaceMovie(std::string path);
  BOOL SeekMovie(int nPos, bool bFinal, bool bExact);
  void CloseMovie();
  void FitFrameToMovie();
  // The movie window over the whole client area.
  void FitMovieWindow();
  // The movie window's Close and the temporary-file deletion; run once when
  // the frame goes away.
  void OnDestroy();

  // The context menu as it would be shown (caller owns it).
  QMenu* BuildContextMenu(int nSubMenu = 1);
  void ShowContextMenu(int nSubMenu = 1);

  void OnPaletteChanged(QWidget* pChangedBy);
  void OnQueryNewPalette();

  bool OnCommand(unsigned id) override;
  bool OnUpdateCommand(CCmdUI& ui) override;
  bool HasCommand(unsigned id) const override;

  bool IsMovieOpen() const { return !m_strMoviePath.empty(); }
  bool IsLogoShown() const;

  WYXScrollMovieWnd m_wndMovie;
  int m_nFrameExtraWidth = 0;
  int m_nFrameExtraHeight = 0;
  BOOL m_bInitialized = FALSE;
  QImage m_logo;
  int m_nLogoWidth = 0;
  int m_nLogoHeight = 0;
  bool m_bSeekPending = false;
  std::string m_strMoviePath;

  static int s_nFilterIndex;

 protected:
  bool event(QEvent* pEvent) override;
  void paintEvent(QPaintEvent* pEvent) override;
  void resizeEvent(QResizeEvent* pEvent) override;
  void mousePressEvent(QMouseEvent* pEvent) override;
  void mouseMoveEvent(QMouseEvent* pEvent) override;
  void mouseReleaseEvent(QMouseEvent* pEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
  void contextMenuEvent(QContextMenuEvent* pEvent) override;

 private:
  void OnMovieNotify(unsigned wParam, LONG lParam);
  void OnFileOpen();
  void OnPlayPause();
  void OnStop();
  void OnStepSeconds(int nDeltaMs);
  void OnStepFrame(bool bForward);
  void OnRepeat();
  bool SeekRule() const;
  bool IsSeeking() const { return m_wndMovie.m_bSeeking.load(); }
  int StateWord() const { return m_wndMovie.GetStateWord(); }
  void DeleteTemporaryMovie(const std::string& path);
  void MeasureFrameExtras();
  void CheckFrameExtras();

  CPlayerConfig& m_config;
  CMainFrame* m_pFrame;
  bool m_bDestroyed = false;
  bool m_bExtrasCheckPending = false;
  QSize m_sizeLastFit;  // outer size the last fit gave the frame
  bool m_bDragArmed = false;  // a left press that may become a window move
  QPoint m_ptDragStart;
};
