// The movie window with its own horizontal and vertical scroll bars: when the
// frame is larger than the client area the bars appear and the picture can be
// scrolled with them and with the mouse wheel. With MOVIE_OPT_SHRINK_TO_FIT
// no bar is ever shown. The bars are shown and hidden only by
// UpdateScrollBars; the client area is the widget minus the visible bars.
#pragma once

#include "engine/WYXMovieWnd.h"

class QScrollBar;

// Scroll codes of OnScroll (low byte horizontal, high byte vertical).
constexpr UINT SB_LINELEFT = 0, SB_LINEUP = 0;
constexpr UINT SB_LINERIGHT = 1, SB_LINEDOWN = 1;
constexpr UINT SB_PAGELEFT = 2, SB_PAGEUP = 2;
constexpr UINT SB_PAGERIGHT = 3, SB_PAGEDOWN = 3;
constexpr UINT SB_THUMBPOSITION = 4;
constexpr UINT SB_THUMBTRACK = 5;
constexpr UINT SB_LEFT = 6, SB_TOP = 6;
constexpr UINT SB_RIGHT = 7, SB_BOTTOM = 7;
constexpr UINT SB_ENDSCROLL = 8;

constexpr int SB_HORZ = 0;
constexpr int SB_VERT = 1;

class WYXScrollMovieWnd : public WYXMovieWnd {
  Q_OBJECT

 public:
  // A bar's range as set: nMin .. nMax with a page of nPage (0 when set
  // without a page).
  struct ScrollRange {
    int nMin = 0;
    int nMax = 0;
    UINT nPage = 0;
  };

  explicit WYXScrollMovieWnd(QWidget* pParent = nullptr);
  ~WYXScrollMovieWnd() override;

  bool LoadMovie() override;
  void PrepareDC(QPainter& painter) override;
  QRect GetClientRect() const override;

  // Decides which bars are shown and sets their ranges.
  void UpdateScrollBars();
  // nScrollCode: low byte horizontal code, high byte vertical (0xFF none).
  bool OnScroll(UINT nScrollCode, int nPos, bool bDoScroll = true);
  bool OnScrollBy(SIZE sizeScroll, bool bDoScroll = true);
  // FitToParent, then the size handling.
  virtual void RecalcLayout();

  int GetScrollPos(int nBar) const;
  int GetScrollLimit(int nBar) const;  // largest position: range max - page + 1
  ScrollRange GetScrollRange(int nBar) const;
  bool IsScrollBarShown(int nBar) const;
  QScrollBar* GetScrollBar(int nBar) const;

  bool m_bInUpdate = false;
  const SIZE m_sizeLine{10, 10};
  const SIZE m_sizePage{100, 100};
  int m_cxVScroll = 0;  // width of the vertical bar
  int m_cyHScroll = 0;  // height of the horizontal bar

 protected:
  void OnSize() override;
  void wheelEvent(QWheelEvent* pEvent) override;
  bool eventFilter(QObject* pWatched, QEvent* pEvent) override;
  // Wheel delta in 1/120 notches; returns whether it scrolled.
  bool OnMouseWheel(bool bControl, int nDelta);

 private:
  void CalcBarSizes();
  void ShowScrollBar(int nBar, bool bShow);
  void SetScrollInfo(int nBar, int nMin, int nMax, UINT nPage);
  void SetScrollPos(int nBar, int nPos);
  void LayoutBars();
  void OnBarAction(int nBar, int nAction);

  QScrollBar* m_pHBar = nullptr;
  QScrollBar* m_pVBar = nullptr;
  ScrollRange m_range[2];
};
