#include "engine/WYXScrollMovieWnd.h"

#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>
#include <climits>

#include "platform/MulDiv.h"

namespace {
constexpr UINT kNoScroll = 0xFF;
}

WYXScrollMovieWnd::WYXScrollMovieWnd(QWidget* pParent) : WYXMovieWnd(pParent) {
  m_pHBar = new QScrollBar(Qt::Horizontal, this);
  m_pVBar = new QScrollBar(Qt::Vertical, this);
  for (QScrollBar* pBar : {m_pHBar, m_pVBar}) {
    // Arrows and page keys belong to the player, not to the bars.
    pBar->setFocusPolicy(Qt::NoFocus);
    pBar->setRange(0, 0);
    pBar->hide();
    pBar->installEventFilter(this);
  }
  connect(m_pHBar, &QScrollBar::actionTriggered, this, [this](int nAction) { OnBarAction(SB_HORZ, nAction); });
  connect(m_pVBar, &QScrollBar::actionTriggered, this, [this](int nAction) { OnBarAction(SB_VERT, nAction); });
  CalcBarSizes();
}

WYXScrollMovieWnd::~WYXScrollMovieWnd() {
  // The worker calls this object's overrides; it must end before they go.
  Close();
}

QScrollBar* WYXScrollMovieWnd::GetScrollBar(int nBar) const { return nBar == SB_HORZ ? m_pHBar : m_pVBar; }

bool WYXScrollMovieWnd::IsScrollBarShown(int nBar) const { return !GetScrollBar(nBar)->isHidden(); }

int WYXScrollMovieWnd::GetScrollPos(int nBar) const { return GetScrollBar(nBar)->value(); }

WYXScrollMovieWnd::ScrollRange WYXScrollMovieWnd::GetScrollRange(int nBar) const { return m_range[nBar]; }

int WYXScrollMovieWnd::GetScrollLimit(int nBar) const { return GetScrollBar(nBar)->maximum(); }

void WYXScrollMovieWnd::CalcBarSizes() {
  const int nExtent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
  m_cxVScroll = nExtent;
  m_cyHScroll = nExtent;
}

QRect WYXScrollMovieWnd::GetClientRect() const {
  QRect rc = rect();
  if (IsScrollBarShown(SB_VERT)) rc.setWidth(std::max(0, rc.width() - m_cxVScroll));
  if (IsScrollBarShown(SB_HORZ)) rc.setHeight(std::max(0, rc.height() - m_cyHScroll));
  return rc;
}

void WYXScrollMovieWnd::LayoutBars() {
  const bool bH = IsScrollBarShown(SB_HORZ);
  const bool bV = IsScrollBarShown(SB_VERT);
  const int w = width();
  const int h = height();
  if (bH) m_pHBar->setGeometry(0, h - m_cyHScroll, w - (bV ? m_cxVScroll : 0), m_cyHScroll);
  if (bV) m_pVBar->setGeometry(w - m_cxVScroll, 0, m_cxVScroll, h - (bH ? m_cyHScroll : 0));
}

void WYXScrollMovieWnd::ShowScrollBar(int nBar, bool bShow) {
  QScrollBar* pBar = GetScrollBar(nBar);
  if (pBar->isHidden() != bShow) return;
  pBar->setVisible(bShow);
  LayoutBars();
  // The client area changed: the size handling runs again (and returns at
  // once while UpdateScrollBars is in progress).
  OnSize();
}

void WYXScrollMovieWnd::SetScrollInfo(int nBar, int nMin, int nMax, UINT nPage) {
  m_range[nBar] = ScrollRange{nMin, nMax, nPage};
  QScrollBar* pBar = GetScrollBar(nBar);
  // The largest position is the range's maximum less the page, plus one.
  const long long nLimit = nPage ? static_cast<long long>(nMax) - nPage + 1 : nMax;
  pBar->setRange(nMin, static_cast<int>(std::clamp<long long>(nLimit, nMin, INT_MAX)));
  pBar->setPageStep(nPage ? static_cast<int>(nPage) : m_sizePage.cx);
  pBar->setSingleStep(nBar == SB_HORZ ? m_sizeLine.cx : m_sizeLine.cy);
  update();
}

void WYXScrollMovieWnd::SetScrollPos(int nBar, int nPos) {
  GetScrollBar(nBar)->setValue(nPos);
  update();
}

bool WYXScrollMovieWnd::LoadMovie() {
  if (!WYXMovieWnd::LoadMovie()) return false;
  if (m_dwOptions & MOVIE_OPT_SHRINK_TO_FIT) {
    ShowScrollBar(SB_HORZ, false);
    ShowScrollBar(SB_VERT, false);
    return true;
  }
  SIZE size;
  GetMovieSize(size, true);
  const QRect client = GetClientRect();
  SetScrollInfo(SB_HORZ, 0, size.cx, static_cast<UINT>(client.width()));
  SetScrollPos(SB_HORZ, 0);
  SetScrollInfo(SB_VERT, 0, size.cy, static_cast<UINT>(client.height()));
  SetScrollPos(SB_VERT, 0);
  ShowScrollBar(SB_HORZ, client.width() < size.cx);
  ShowScrollBar(SB_VERT, client.height() < size.cy);
  return true;
}

void WYXScrollMovieWnd::OnSize() {
  WYXMovieWnd::OnSize();
  LayoutBars();
  UpdateScrollBars();
}

void WYXScrollMovieWnd::RecalcLayout() {
  FitToParent();
  OnSize();
}

void WYXScrollMovieWnd::UpdateScrollBars() {
  if (m_bInUpdate) return;
  m_bInUpdate = true;
  struct Done {
    bool& b;
    ~Done() { b = false; }
  } done{m_bInUpdate};

  const QRect client = GetClientRect();
  const int cw = client.width();
  const int ch = client.height();
  if (m_dwOptions & MOVIE_OPT_SHRINK_TO_FIT) {
    ShowScrollBar(SB_HORZ, false);
    ShowScrollBar(SB_VERT, false);
    return;
  }
  SIZE size;
  GetMovieSize(size, true);
  if (size.cx <= 0 || size.cy <= 0) {
    ShowScrollBar(SB_HORZ, false);
    ShowScrollBar(SB_VERT, false);
    return;
  }
  const int nOldX = GetScrollPos(SB_HORZ);
  const int nOldY = GetScrollPos(SB_VERT);
  const bool bHasH = IsScrollBarShown(SB_HORZ);
  const bool bHasV = IsScrollBarShown(SB_VERT);
  CalcBarSizes();
  const int bw = m_cxVScroll;
  const int bh = m_cyHScroll;
  if (cw <= bw && ch <= bh) {
    ShowScrollBar(SB_HORZ, false);
    ShowScrollBar(SB_VERT, false);
    return;
  }
  const int tw = cw + (bHasV ? bw : 0);
  const int th = ch + (bHasH ? bh : 0);
  bool bNeedH = size.cx > tw;
  bool bNeedV = size.cy > th;
  if (bNeedH && !bNeedV)
    bNeedV = size.cy > th - bh;
  else if (bNeedV && !bNeedH)
    bNeedH = size.cx > tw - bw;
  ShowScrollBar(SB_HORZ, bNeedH);
  ShowScrollBar(SB_VERT, bNeedV);

  // Hiding a bar may have moved its position; the picture is scrolled by
  // what the range change takes away.
  const int nNewX = GetScrollPos(SB_HORZ);
  const int nNewY = GetScrollPos(SB_VERT);
  SetScrollPos(SB_HORZ, nOldX);
  SetScrollPos(SB_VERT, nOldY);
  if (nNewX != nOldX || nNewY != nOldY) update();

  const int nPageW = tw - (IsScrollBarShown(SB_VERT) ? bw : 0);
  const int nPageH = th - (IsScrollBarShown(SB_HORZ) ? bh : 0);
  SetScrollInfo(SB_HORZ, 0, size.cx - 1, static_cast<UINT>(std::max(0, nPageW)));
  SetScrollInfo(SB_VERT, 0, size.cy - 1, static_cast<UINT>(std::max(0, nPageH)));
  LayoutBars();
}

void WYXScrollMovieWnd::PrepareDC(QPainter& painter) {
  if (!(m_dwOptions & MOVIE_OPT_SHRINK_TO_FIT)) painter.translate(-GetScrollPos(SB_HORZ), -GetScrollPos(SB_VERT));
}

void WYXScrollMovieWnd::OnBarAction(int nBar, int nAction) {
  if (m_dwOptions & MOVIE_OPT_SHRINK_TO_FIT) return;
  QScrollBar* pBar = GetScrollBar(nBar);
  UINT nCode = kNoScroll;
  switch (nAction) {
    case QAbstractSlider::SliderSingleStepSub: nCode = SB_LINELEFT; break;
    case QAbstractSlider::SliderSingleStepAdd: nCode = SB_LINERIGHT; break;
    case QAbstractSlider::SliderPageStepSub: nCode = SB_PAGELEFT; break;
    case QAbstractSlider::SliderPageStepAdd: nCode = SB_PAGERIGHT; break;
    case QAbstractSlider::SliderMove: nCode = SB_THUMBTRACK; break;
    case QAbstractSlider::SliderToMinimum: nCode = SB_LEFT; break;
    case QAbstractSlider::SliderToMaximum: nCode = SB_RIGHT; break;
    default: break;
  }
  const int nTrack = pBar->sliderPosition();
  // The bar has already moved its slider by its own step; our steps decide.
  pBar->setSliderPosition(pBar->value());
  const UINT nScroll = nBar == SB_HORZ ? (nCode | (kNoScroll << 8)) : (kNoScroll | (nCode << 8));
  OnScroll(nScroll, nTrack, true);
  pBar->setSliderPosition(pBar->value());
}

bool WYXScrollMovieWnd::OnScroll(UINT nScrollCode, int nPos, bool bDoScroll) {
  const int nOldX = GetScrollPos(SB_HORZ);
  const int nOldY = GetScrollPos(SB_VERT);
  auto step = [nPos](UINT nCode, int nOld, int nLine, int nPage) -> long long {
    switch (nCode) {
      case SB_LINELEFT: return static_cast<long long>(nOld) - nLine;
      case SB_LINERIGHT: return static_cast<long long>(nOld) + nLine;
      case SB_PAGELEFT: return static_cast<long long>(nOld) - nPage;
      case SB_PAGERIGHT: return static_cast<long long>(nOld) + nPage;
      case SB_THUMBTRACK: return nPos;
      case SB_LEFT: return 0;
      case SB_RIGHT: return INT_MAX;
      default: return nOld;
    }
  };
  const long long x = step(nScrollCode & 0xFF, nOldX, m_sizeLine.cx, m_sizePage.cx);
  const long long y = step((nScrollCode >> 8) & 0xFF, nOldY, m_sizeLine.cy, m_sizePage.cy);
  auto clampDelta = [](long long d) { return static_cast<LONG>(std::clamp<long long>(d, INT_MIN, INT_MAX)); };
  const bool bResult = OnScrollBy(SIZE{clampDelta(x - nOldX), clampDelta(y - nOldY)}, bDoScroll);
  if (bResult && bDoScroll) repaint();
  return bResult;
}

bool WYXScrollMovieWnd::OnScrollBy(SIZE sizeScroll, bool bDoScroll) {
  if (!IsScrollBarShown(SB_VERT) || !m_pVBar->isEnabled()) sizeScroll.cy = 0;
  if (!IsScrollBarShown(SB_HORZ) || !m_pHBar->isEnabled()) sizeScroll.cx = 0;
  const int nOldX = GetScrollPos(SB_HORZ);
  const int nOldY = GetScrollPos(SB_VERT);
  const int x = static_cast<int>(std::clamp<long long>(static_cast<long long>(nOldX) + sizeScroll.cx, 0,
                                                       std::max(0, GetScrollLimit(SB_HORZ))));
  const int y = static_cast<int>(std::clamp<long long>(static_cast<long long>(nOldY) + sizeScroll.cy, 0,
                                                       std::max(0, GetScrollLimit(SB_VERT))));
  if (x == nOldX && y == nOldY) return false;
  if (bDoScroll) {
    if (x != nOldX) SetScrollPos(SB_HORZ, x);
    if (y != nOldY) SetScrollPos(SB_VERT, y);
  }
  return true;
}

bool WYXScrollMovieWnd::OnMouseWheel(bool bControl, int nDelta) {
  const bool bHasV = IsScrollBarShown(SB_VERT);
  const bool bHasH = IsScrollBarShown(SB_HORZ);
  auto wheelStep = [nDelta](int nLine, int nPage) {
    const int n = MulDiv(-nDelta, 3, 120);
    if (n == -1) return nDelta > 0 ? -nPage : nPage;
    return std::min(n * nLine, nPage);
  };
  bool bScrolled = false;
  if (bHasV && (!bHasH || !bControl))
    bScrolled = OnScrollBy(SIZE{0, wheelStep(m_sizeLine.cy, m_sizePage.cy)}, true);
  else if (bHasH)
    bScrolled = OnScrollBy(SIZE{wheelStep(m_sizeLine.cx, m_sizePage.cx), 0}, true);
  else
    return false;
  if (bScrolled) repaint();
  return bScrolled;
}

void WYXScrollMovieWnd::wheelEvent(QWheelEvent* pEvent) {
  const int nDelta = pEvent->angleDelta().y() != 0 ? pEvent->angleDelta().y() : pEvent->angleDelta().x();
  OnMouseWheel((pEvent->modifiers() & Qt::ControlModifier) != 0, nDelta);
  pEvent->accept();
}

bool WYXScrollMovieWnd::eventFilter(QObject* pWatched, QEvent* pEvent) {
  // The wheel over a bar scrolls by the window's rule, not the bar's.
  if ((pWatched == m_pHBar || pWatched == m_pVBar) && pEvent->type() == QEvent::Wheel) {
    wheelEvent(static_cast<QWheelEvent*>(pEvent));
    return true;
  }
  return WYXMovieWnd::eventFilter(pWatched, pEvent);
}
