#include "engine/WYXMovieWnd.h"

#include <QCoreApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "audio/WYXAviAudio.h"
#include "engine/AppMainWindow.h"
#include "engine/WYXBaseThread.h"
#include "media/WYXAviFile.h"
#include "platform/MulDiv.h"
#include "platform/MMTimer.h"

// ---------------------------------------------------------------------------
// The worker.

class WYXMovieWnd::WYXMovieThread : public WYXBaseThread {
 public:
  explicit WYXMovieThread(WYXMovieWnd* pOwner) : m_pOwner(pOwner) {}
  ~WYXMovieThread() override = default;

  int Run() override;

  std::atomic<bool> m_bTick{false};
  std::atomic<bool> m_bPlaying{false};
  std::atomic<bool> m_bPaused{false};
  std::atomic<bool> m_bQuit{true};
  WYXMovieWnd* const m_pOwner;
  std::atomic<int> m_nMovieState{MOVIE_NOT_LOADED};
};

namespace {

constexpr int kDeferredPlayDelay = 25;
constexpr auto kPollInterval = std::chrono::milliseconds(10);

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool IsWindowStateCode(int n) {
  return n == MOVIE_NOT_LOADED || n == MOVIE_NO_VIDEO || n == MOVIE_NO_SOUND || n == MOVIE_NO_STREAMS ||
         n == MOVIE_LOADED || n == MOVIE_CLOSED;
}

// Number of characters (not bytes) from p to the end of a UTF-8 string.
std::size_t CharCount(const char* p) {
  std::size_t n = 0;
  for (; *p; ++p)
    if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80) ++n;
  return n;
}

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a && *b; ++a, ++b) {
    char ca = *a, cb = *b;
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
    if (ca != cb) return false;
  }
  return *a == *b;
}

QColor ToQColor(COLORREF cr) { return QColor(GetRValue(cr), GetGValue(cr), GetBValue(cr)); }

}  // namespace

int WYXMovieWnd::WYXMovieThread::Run() {
  if (!m_bPlaying) {
    m_nMovieState = MOVIE_STOPPED;
    return 0;
  }
  m_nMovieState = MOVIE_PLAYING;
  if (m_bStop) {
    m_nMovieState = MOVIE_STOPPED;
    return 0;
  }
  for (;;) {
    if (m_bQuit) break;
    if (m_bPaused) {
      m_nMovieState = MOVIE_PAUSED;
      std::this_thread::sleep_for(kPollInterval);
    } else if (m_bPlaying) {
      m_nMovieState = MOVIE_PLAYING;
      // One raised flag stands for any number of missed ticks.
      if (m_bTick.exchange(false))
        m_pOwner->OnFrameTick();
      else
        std::this_thread::sleep_for(kPollInterval);
    }
    if (m_bStop) break;
  }
  m_nMovieState = MOVIE_STOPPED;
  return 0;
}

// ---------------------------------------------------------------------------
// Construction and the queued effects.

WYXMovieWnd::WYXMovieWnd(QWidget* pParent)
    : QWidget(pParent), m_file(std::make_unique<WYXAviFile>()), m_thread(std::make_unique<WYXMovieThread>(this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::ArrowCursor);
  m_seekRefreshTimer.setSingleShot(true);
  m_deferredPlayTimer.setSingleShot(true);
  connect(&m_seekRefreshTimer, &QTimer::timeout, this, [this] { OnTimer(IDT_SEEK_REFRESH); });
  connect(&m_deferredPlayTimer, &QTimer::timeout, this, [this] { OnTimer(IDT_DEFERRED_PLAY); });
  m_pNotifyParent = pParent;
}

WYXMovieWnd::~WYXMovieWnd() {
  Close();
  delete m_pAudio;
  m_pAudio = nullptr;
  // The thread object's destructor stops any thread left before the rest goes.
  m_thread.reset();
}

bool WYXMovieWnd::IsUiThread() const { return QThread::currentThread() == thread(); }

template <class F>
void WYXMovieWnd::RunOnUiThread(F&& f) {
  if (IsUiThread()) {
    // What the worker queued before comes first.
    DrainUiQueue();
    f();
    return;
  }
  bool bWasEmpty;
  {
    std::lock_guard lock(m_uiQueueLock);
    bWasEmpty = m_uiQueue.empty();
    m_uiQueue.emplace_back(std::forward<F>(f));
  }
  if (bWasEmpty) QMetaObject::invokeMethod(this, "DrainUiQueue", Qt::QueuedConnection);
}

void WYXMovieWnd::DrainUiQueue() {
  for (;;) {
    std::function<void()> f;
    {
      std::lock_guard lock(m_uiQueueLock);
      if (m_uiQueue.empty()) return;
      f = std::move(m_uiQueue.front());
      m_uiQueue.pop_front();
    }
    f();
  }
}

void WYXMovieWnd::RequestRepaint() {
  RunOnUiThread([this] { update(GetClientRect()); });
}

void WYXMovieWnd::ArmWindowTimer(UINT nId) {
  const bool bRefresh = nId == IDT_SEEK_REFRESH;
  std::atomic<UINT>& id = bRefresh ? m_nSeekRefreshTimer : m_nDeferredPlayTimer;
  std::atomic<unsigned>& seq = bRefresh ? m_nSeekRefreshSeq : m_nDeferredPlaySeq;
  QTimer* pTimer = bRefresh ? &m_seekRefreshTimer : &m_deferredPlayTimer;
  const int nDelay = bRefresh ? static_cast<int>(m_nSeekRefreshDelay) : kDeferredPlayDelay;
  id = nId;
  const unsigned nSeq = ++seq;
  // A later arm or kill from either thread supersedes this one.
  RunOnUiThread([&seq, nSeq, pTimer, nDelay] {
    if (seq == nSeq) pTimer->start(nDelay);
  });
}

void WYXMovieWnd::KillWindowTimer(UINT nId) {
  const bool bRefresh = nId == IDT_SEEK_REFRESH;
  std::atomic<UINT>& id = bRefresh ? m_nSeekRefreshTimer : m_nDeferredPlayTimer;
  std::atomic<unsigned>& seq = bRefresh ? m_nSeekRefreshSeq : m_nDeferredPlaySeq;
  QTimer* pTimer = bRefresh ? &m_seekRefreshTimer : &m_deferredPlayTimer;
  id = 0;
  const unsigned nSeq = ++seq;
  RunOnUiThread([&seq, nSeq, pTimer] {
    if (seq == nSeq) pTimer->stop();
  });
}

BOOL WYXMovieWnd::CreateMovieWindow(QWidget* pParent) {
  if (pParent == nullptr) return FALSE;
  setParent(pParent);
  m_pNotifyParent = pParent;
  setWindowTitle(QStringLiteral("WYX AVI Player"));
  setGeometry(m_rcWindow.left, m_rcWindow.top, m_rcWindow.Width(), m_rcWindow.Height());
  show();
  return TRUE;
}

void WYXMovieWnd::changeEvent(QEvent* pEvent) {
  if (pEvent->type() == QEvent::ParentChange) m_pNotifyParent = parentWidget();
  QWidget::changeEvent(pEvent);
}

// ---------------------------------------------------------------------------
// Loading and closing.

bool WYXMovieWnd::Open(const char* pszFile) {
  Close();
  if (pszFile == nullptr) return false;
  m_strFile = pszFile;
  const std::size_t dot = m_strFile.rfind('.');
  if (dot != std::string::npos && CharCount(m_strFile.c_str() + dot) == 4 &&
      !EqualsNoCase(m_strFile.c_str() + dot, ".avi"))
    m_strFile.clear();
  if (m_strFile.empty()) return false;
  if (!LoadMovie()) {
    // Nothing of the file stays: a later Play or Seek must find no movie.
    m_strFile.clear();
    return false;
  }
  FitToParent();
  if ((m_dwOptions & MOVIE_OPT_AUTOPLAY) && m_nDeferredPlayTimer == 0) ArmWindowTimer(IDT_DEFERRED_PLAY);
  return true;
}

bool WYXMovieWnd::LoadMovie() {
  if (!m_file->Open(m_strFile.c_str())) return false;

  // A movie starts at 0 whatever the last one left, also without video.
  m_dwLastClock = m_dwClockBase = timeGetTime();
  m_bClockFromSound = false;
  m_nPosition = 0;
  m_nShownSample = m_nCurSample = -1;
  m_nNotifiedPos = 0;
  m_bSeeking = false;
  m_bPaletteChanged = true;

  m_nVideoStream = 0;
  const AVISTREAMINFOA* pInfo = nullptr;
  bool bVideo = m_file->OpenVideoStream(0) && (pInfo = m_file->GetVideoStreamInfo(0)) != nullptr;
  if (bVideo) {

    m_fFrameMs = static_cast<float>(MulDiv(1000, static_cast<int>(pInfo->dwScale), static_cast<int>(pInfo->dwRate)));
    const double period = static_cast<double>(m_fFrameMs) * 0.5 / m_fRate;
    m_nTickPeriod = period < 5.0 ? 5u : static_cast<UINT>(period);

    std::lock_guard frameLock(m_frameLock);
    const BITMAPINFOHEADER* pHeader = nullptr;
    const void* pBits = nullptr;
    FetchFrame(0, 0, false, pHeader, pBits);
    const int nCur = m_nCurSample;
    if (pHeader) {
      m_nShownSample = nCur;
      AttachFrame(pHeader, pBits);
      m_bHasFrame = true;
      RequestRepaint();
    } else {
      // Treated as a movie without video; its frame object is released now,
      // as Close only closes the stream in use.
      m_file->CloseVideoStream(0);
      m_nVideoStream = -1;
      m_bHasFrame = false;
      if (QWidget* pParent = parentWidget()) pParent->update();
    }
  } else {
    m_file->CloseVideoStream(0);
    m_thread->m_nMovieState = MOVIE_NO_VIDEO;
    NotifyState();
    m_bHasFrame = false;
    m_nVideoStream = -1;
  }

  if (m_file->GetAudioStreamCount() > 0) {
    delete m_pAudio;
    m_pAudio = new WYXAviAudio();
    m_pAudio->SetRate(m_fRate);
    if (m_pAudio->OpenFile(m_strFile.c_str(), 0)) {
      m_pAudio->SetStartTime(0);
      if (m_pAudio->IsFormatSupported(false)) {
        if (m_nVideoStream == -1) m_bAudioOnly = true;
      } else {
        delete m_pAudio;
        m_pAudio = nullptr;
        m_bAudioOnly = false;
        m_thread->m_nMovieState =
            (m_nVideoStream == -1 && m_thread->m_nMovieState == MOVIE_NO_VIDEO) ? MOVIE_NO_STREAMS : MOVIE_NO_SOUND;
        NotifyState();
      }
    }
  }

  const bool bResult = m_bHasFrame || m_bAudioOnly;
  m_thread->m_nMovieState = bResult ? MOVIE_LOADED : MOVIE_NOT_LOADED;
  NotifyState();
  return bResult;
}

void WYXMovieWnd::Close() {
  m_bHasFrame = false;
  Stop(false, true);
  // A deferred play or refresh armed for the old movie must not reach the next.
  KillWindowTimer(IDT_SEEK_REFRESH);
  KillWindowTimer(IDT_DEFERRED_PLAY);
  m_nPendingPos = -1;
  delete m_pAudio;
  m_pAudio = nullptr;
  {
    std::lock_guard frameLock(m_frameLock);
    if (m_nVideoStream >= 0) m_file->CloseVideoStream(m_nVideoStream);
    m_bSeeking = false;
    m_bAudioOnly = false;
    m_strFile.clear();
    m_file->Close();
    m_nVideoStream = -1;
  }
  m_thread->m_nMovieState = MOVIE_CLOSED;
  NotifyState();
  update();
}

bool WYXMovieWnd::FetchFrame(int nStream, int nTime, bool bKeyFramesOnly, const BITMAPINFOHEADER*& pHeader,
                             const void*& pBits) {
  BITMAPINFOHEADER* pH = nullptr;
  BYTE* pB = nullptr;
  LONG nLast = m_nCurSample;
  const bool bChanged = m_file->GetVideoFrame(nStream, nTime, &pH, &pB, &nLast, bKeyFramesOnly);
  m_nCurSample = nLast;
  pHeader = pH;
  pBits = pB;
  return bChanged;
}

void WYXMovieWnd::AttachFrame(const BITMAPINFOHEADER* pHeader, const void* pBits) {
  m_dib.Attach(reinterpret_cast<const BITMAPINFO*>(pHeader), pBits, 0);
}

// ---------------------------------------------------------------------------
// Queries.

bool WYXMovieWnd::IsValidVideoStream(int nStream) const {
  return nStream >= 0 && nStream < m_file->GetVideoStreamCount();
}

int WYXMovieWnd::GetStateWord() const { return m_thread->m_nMovieState; }

int WYXMovieWnd::GetState() const {
  if (m_bSeeking) return MOVIE_SEEKING;
  const int nWord = m_thread->m_nMovieState;
  if (IsWindowStateCode(nWord)) return nWord;
  if (m_thread->m_bPlaying) return MOVIE_PLAYING;
  if (m_thread->m_bPaused) return MOVIE_PAUSED;
  return MOVIE_STOPPED;
}

int WYXMovieWnd::GetPosition() {
  const int nPending = m_nPendingPos;
  if (m_bSeeking && nPending != -1) return nPending;
  return m_nPosition;
}

int WYXMovieWnd::GetStartPosition() { return 0; }

int WYXMovieWnd::GetEndPosition() { return GetLength(); }

int WYXMovieWnd::GetLength() {
  const int nStream = m_nVideoStream;
  const int nVideo = IsValidVideoStream(nStream) ? m_file->GetVideoEndTime(nStream) : 0;
  if (m_pAudio && m_bAudioOnly) return m_pAudio->GetDuration();
  if (m_pAudio && (m_dwOptions & MOVIE_OPT_LENGTH_WITH_SOUND)) return std::max(m_pAudio->GetDuration(), nVideo);
  return nVideo;
}

const BITMAPINFOHEADER* WYXMovieWnd::GetVideoFormat() {
  const int nStream = m_nVideoStream;
  return IsValidVideoStream(nStream) ? m_file->GetVideoFormat(nStream) : nullptr;
}

void WYXMovieWnd::NotifyState() {
  if (!(m_dwOptions & MOVIE_OPT_NOTIFY_STATE)) return;
  PostNotify(MOVIE_NOTIFY_STATE, GetState());
}

void WYXMovieWnd::NotifyPosition() {
  if (!(m_dwOptions & MOVIE_OPT_NOTIFY_POSITION)) return;
  m_nNotifiedPos = m_nPosition.load();
  PostNotify(MOVIE_NOTIFY_POSITION, GetPosition());
}

void WYXMovieWnd::PostNotify(unsigned wParam, LONG lParam) {
  if (m_pNotifyParent.load() == nullptr) return;
  // Posted from the user-interface thread, in order with the other effects.
  RunOnUiThread([this, wParam, lParam] {
    if (QWidget* pParent = m_pNotifyParent) QCoreApplication::postEvent(pParent, new MovieNotifyEvent(wParam, lParam));
  });
}

// ---------------------------------------------------------------------------
// Geometry and input.

QRect WYXMovieWnd::GetClientRect() const { return rect(); }

SIZE WYXMovieWnd::GetMovieSize(SIZE& size, bool bFrameOnly) {
  size = SIZE{0, 0};
  const BITMAPINFOHEADER* pFormat = GetVideoFormat();
  if (pFormat) {
    const DWORD dwOptions = m_dwOptions;
    if (!bFrameOnly && (dwOptions & (MOVIE_OPT_SHRINK_TO_FIT | MOVIE_OPT_STRETCH_TO_FIT))) {
      if (QWidget* pParent = parentWidget()) {
        const QSize client = pParent->contentsRect().size();
        size = SIZE{client.width(), client.height()};
        if (!(dwOptions & MOVIE_OPT_SHRINK_TO_FIT)) {
          size.cx = std::max<LONG>(size.cx, pFormat->biWidth);
          size.cy = std::max<LONG>(size.cy, pFormat->biHeight);
        }
      }
    } else {
      size = SIZE{pFormat->biWidth, pFormat->biHeight};
    }
  }
  size.cx = std::max(size.cx, m_sizeMin.cx);
  size.cy = std::max(size.cy, m_sizeMin.cy);
  return size;
}

void WYXMovieWnd::FitToParent() {
  QWidget* pParent = parentWidget();
  if (!pParent || !(m_dwOptions & MOVIE_OPT_FIT_PARENT)) return;
  QSize client = pParent->contentsRect().size();
  if (!(m_dwOptions & MOVIE_OPT_SHRINK_TO_FIT)) {
    if (const BITMAPINFOHEADER* pFormat = GetVideoFormat()) {
      client.setWidth(std::max<int>(client.width(), pFormat->biWidth));
      client.setHeight(std::max<int>(client.height(), pFormat->biHeight));
    }
  }
  resize(client);
}

bool WYXMovieWnd::SetWindowRect(const RECT& rc) {
  if (m_dwOptions & MOVIE_OPT_FIT_PARENT) return false;
  m_rcWindow = rc;
  setGeometry(rc.left, rc.top, rc.Width(), rc.Height());
  return true;
}

void WYXMovieWnd::SetOptions(DWORD dwOptions) {
  m_dwOptions = dwOptions;
  // The layout is redone from the event loop, as after a resize.
  QMetaObject::invokeMethod(this, [this] { OnSize(); }, Qt::QueuedConnection);
}

void WYXMovieWnd::OnSize() { update(); }

void WYXMovieWnd::resizeEvent(QResizeEvent* pEvent) {
  QWidget::resizeEvent(pEvent);
  OnSize();
}

void WYXMovieWnd::mousePressEvent(QMouseEvent* pEvent) {
  if (pEvent->button() == Qt::LeftButton && (m_dwOptions & MOVIE_OPT_DRAG_MAIN_WINDOW)) {
    QWidget* pMain = GetAppMainWindow();
    if (pMain && !pMain->isMaximized() && !pMain->isFullScreen()) {
      if (QWindow* pWindow = pMain->windowHandle()) pWindow->startSystemMove();
    }
  }
  pEvent->accept();
}

void WYXMovieWnd::mouseDoubleClickEvent(QMouseEvent* pEvent) {
  pEvent->accept();
  const DWORD dwOptions = m_dwOptions;
  if (pEvent->button() != Qt::LeftButton || !(dwOptions & MOVIE_OPT_DRAG_MAIN_WINDOW) ||
      (dwOptions & MOVIE_OPT_NO_DBLCLK_MAXIMIZE))
    return;
  if (QWidget* pMain = GetAppMainWindow()) {
    if (pMain->isMaximized())
      pMain->showNormal();
    else
      pMain->showMaximized();
  }
}

void WYXMovieWnd::contextMenuEvent(QContextMenuEvent* pEvent) {
  // Passed on to the parent, which shows the owner's menu.
  pEvent->ignore();
}

// ---------------------------------------------------------------------------
// Transport.

int WYXMovieWnd::Play() {
  std::lock_guard stateLock(m_stateLock);
  if (m_nSeekRefreshTimer) KillWindowTimer(IDT_SEEK_REFRESH);
  if (m_nDeferredPlayTimer) KillWindowTimer(IDT_DEFERRED_PLAY);
  if (m_thread->m_nMovieState == MOVIE_PLAYING && m_thread->m_bPlaying) return MOVIE_PLAYING;
  // Nothing loaded: a worker would only find the end at once and report a
  // playback that never happened.
  if (m_strFile.empty() && m_pAudio == nullptr) return m_thread->m_nMovieState;

  m_dwLastClock = m_dwClockBase = timeGetTime();
  m_bClockFromSound = false;
  if (m_nPosition >= GetEndPosition()) {
    m_nPosition = GetStartPosition();
    int nPos = m_nPosition;
    Seek(&nPos, true, false, false);
  }
  if (m_pAudio) m_pAudio->Resume();

  WYXMovieThread& t = *m_thread;
  if (t.m_bPaused && !t.m_bStop) {
    t.m_bPaused = false;
    t.m_bQuit = false;
    t.m_bPlaying = true;
  } else if (!t.m_bPlaying) {
    // A worker asked to stop a moment ago may not have ended yet; it ends at
    // its next poll, so let it go before starting the next one.
    if (t.m_bStop && t.QueryState() == THREAD_RUNNING) t.Wait(1000);
    t.m_bPaused = false;
    t.m_bQuit = false;
    t.m_bPlaying = true;
    if (t.Start(this, 0) == nullptr) {
      t.m_bPlaying = false;
      t.m_bPaused = false;
      t.m_bQuit = true;
      t.m_bTick = false;
    }
  }
  if (m_nTickTimer == 0)
    m_nTickTimer = timeSetEvent(m_nTickPeriod, 0, &WYXMovieWnd::MovieTimerProc, this,
                                TIME_PERIODIC);
  SleepMs(25);
  const int nState = t.m_nMovieState;
  NotifyState();
  return nState;
}

int WYXMovieWnd::Pause() {
  std::lock_guard stateLock(m_stateLock);
  WYXMovieThread& t = *m_thread;
  int nState = t.m_nMovieState;
  if (nState != MOVIE_PLAYING || !t.m_bPlaying) return nState;
  if (m_pAudio) m_pAudio->Pause();
  t.m_bPlaying = false;
  t.m_bQuit = false;
  t.m_bPaused = true;
  for (int i = 0; i < 101 && (nState = t.m_nMovieState) == MOVIE_PLAYING; ++i) SleepMs(10);
  NotifyState();
  return nState;
}

void WYXMovieWnd::Stop(bool bRewind, bool bWait) {
  std::lock_guard stateLock(m_stateLock);
  if (const UINT nTimer = m_nTickTimer.exchange(0)) timeKillEvent(nTimer);
  WYXMovieThread& t = *m_thread;
  if (t.m_nState == THREAD_RUNNING) t.m_nState = t.QueryState();
  if (t.m_nState == THREAD_RUNNING) {
    if (m_pAudio) m_pAudio->Stop();
    t.RequestStop();
    // A worker at the end of the movie gives up its end handling once it sees
    // the stop request, so it never waits for the lock held here.
    if (bWait) t.Wait(INFINITE);
    t.m_bPlaying = false;
    t.m_bPaused = false;
    t.m_bQuit = true;
    t.m_bTick = false;
    if (bRewind) {
      m_nPosition = GetStartPosition();
      int nPos = m_nPosition;
      Seek(&nPos, true, false, true);
    }
    // Only a stop that ended playback has news for the owner; a Close of a
    // movie that never played posts just its MOVIE_CLOSED.
    NotifyState();
  }
  t.m_bTick = false;
}

int WYXMovieWnd::Seek(int* pnPos, bool bFinal, bool bExact, bool bNoStopAtEnd) {
  int nResult = m_thread->m_nMovieState;
  m_nPendingPos = -1;
  if (m_nSeekRefreshTimer) KillWindowTimer(IDT_SEEK_REFRESH);
  if (m_nDeferredPlayTimer) KillWindowTimer(IDT_DEFERRED_PLAY);
  if (m_strFile.empty() && m_pAudio == nullptr) return nResult;
  if (pnPos == nullptr) return nResult;

  if (!bFinal && m_thread->m_nMovieState == MOVIE_PLAYING) {
    if (!(m_dwOptions & MOVIE_OPT_NO_SEEK_RESUME)) m_bSeeking = true;
    nResult = Pause();
  }
  if (m_pAudio) m_pAudio->Stop();
  if (*pnPos < 0) *pnPos = 0;

  bool bFast = false;
  if (m_bAudioOnly && m_pAudio) {
    *pnPos = std::min(*pnPos, GetEndPosition());
    m_nPosition = *pnPos;
  } else {
    *pnPos = std::min(*pnPos, GetEndPosition());
    m_nPendingPos = *pnPos;
    m_dwLastClock = m_dwClockBase = timeGetTime();
    m_bClockFromSound = false;
    bFast = !bFinal && !bExact &&
            static_cast<float>(m_nFastSeekFrames) * m_fFrameMs <= m_fNotifyThreshold.load();
    m_nPosition = *pnPos;
    std::lock_guard frameLock(m_frameLock);
    const BITMAPINFOHEADER* pHeader = nullptr;
    const void* pBits = nullptr;
    const int nStream = m_nVideoStream;
    if (IsValidVideoStream(nStream)) {
      if (FetchFrame(nStream, m_nPosition, bFast, pHeader, pBits)) m_bPaletteChanged = true;
      const int nCur = m_nCurSample;
      if (nCur != m_nShownSample) {
        m_nShownSample = nCur;
        if (pHeader) {
          AttachFrame(pHeader, pBits);
          m_bHasFrame = true;
          RequestRepaint();
          NotifyPosition();
        } else if (m_file->HasBuiltInDecoder(nStream)) {
          RequestRepaint();
          NotifyPosition();
        }
      }
    }
  }

  if (bFinal) {
    if (m_pAudio) m_pAudio->SetStartTime(*pnPos);
    if (m_bSeeking) {
      m_bSeeking = false;
      if (m_nPosition >= GetEndPosition()) {
        if (!bNoStopAtEnd) {
          Stop(false, false);
          if (!(m_dwOptions & MOVIE_OPT_REPEAT)) return nResult;
        }
      }
      if (m_nDeferredPlayTimer == 0) ArmWindowTimer(IDT_DEFERRED_PLAY);
    }
  } else if (bFast) {
    ArmWindowTimer(IDT_SEEK_REFRESH);
  }
  return nResult;
}

int WYXMovieWnd::StepForward() {
  const int nState = m_thread->m_nMovieState;
  const int nStream = m_nVideoStream;
  if ((GetState() == MOVIE_PAUSED || GetState() == MOVIE_STOPPED) && IsValidVideoStream(nStream)) {
    if (const AVISTREAMINFOA* pInfo = m_file->GetVideoStreamInfo(nStream)) {
      int nPos = GetPosition() + MulDiv(1000, static_cast<int>(pInfo->dwScale), static_cast<int>(pInfo->dwRate));
      Seek(&nPos, true, false, false);
    }
  }
  return nState;
}

int WYXMovieWnd::StepBackward() {
  const int nState = m_thread->m_nMovieState;
  const int nStream = m_nVideoStream;
  if ((GetState() == MOVIE_PAUSED || GetState() == MOVIE_STOPPED) && IsValidVideoStream(nStream)) {
    if (const AVISTREAMINFOA* pInfo = m_file->GetVideoStreamInfo(nStream)) {
      int nPos = GetPosition() - MulDiv(1000, static_cast<int>(pInfo->dwScale), static_cast<int>(pInfo->dwRate));
      Seek(&nPos, true, false, false);
    }
  }
  return nState;
}

// ---------------------------------------------------------------------------
// Clock and clock steps.

void WYXMovieWnd::MovieTimerProc(UINT uTimerID, UINT /*uMsg*/, void* dwUser, void*, void*) {
  auto* pWnd = static_cast<WYXMovieWnd*>(dwUser);
  if (pWnd && uTimerID == pWnd->m_nTickTimer) pWnd->m_thread->m_bTick = true;
}

int WYXMovieWnd::GetClockPosition() {
  if (m_pAudio && m_pAudio->m_bStarted && !m_pAudio->m_bInput) {
    const int nPos = m_pAudio->GetPosition();
    // -1: the sound stopped supplying the clock just now (its end or a stall).
    if (nPos >= 0) {
      m_bClockFromSound = true;
      return nPos;
    }
  }
  const DWORD dwNow = timeGetTime();
  // Hand-over from the sound: count on from the sound's last position, from now.
  if (m_bClockFromSound.exchange(false)) m_dwClockBase = dwNow;
  m_dwLastClock = dwNow;
  const auto nElapsed = static_cast<std::int32_t>(dwNow - m_dwClockBase);
  return m_nPosition + static_cast<int>(static_cast<float>(nElapsed) * m_fRate);
}

bool WYXMovieWnd::LockStateFromWorker() {
  while (!m_stateLock.try_lock()) {
    if (m_thread->m_bStop) return false;
    SleepMs(1);
  }
  // A stop that got in first (the owner's, or an earlier end) has already
  // decided what happens; a second end handling would undo it.
  if (m_thread->m_bStop) {
    m_stateLock.unlock();
    return false;
  }
  return true;
}

bool WYXMovieWnd::HandleEnd() {
  if (!LockStateFromWorker()) return false;
  std::lock_guard stateLock(m_stateLock, std::adopt_lock);
  const DWORD dwOptions = m_dwOptions;
  Stop(!(dwOptions & MOVIE_OPT_HOLD_LAST_FRAME), false);
  if ((dwOptions & MOVIE_OPT_CLOSE_AT_END) && HasAppMainWindow()) {
    m_thread->RequestStop();
    RunOnUiThread([] {
      if (QWidget* pMain = GetAppMainWindow()) pMain->close();
    });
    return false;
  }
  if (dwOptions & MOVIE_OPT_REPEAT) {
    if (m_nDeferredPlayTimer == 0) ArmWindowTimer(IDT_DEFERRED_PLAY);
    return true;
  }
  return false;
}

void WYXMovieWnd::OnFrameTick() {
  WYXMovieThread& t = *m_thread;
  // Positions stay within the movie; the clock may have run past its end.
  m_nPosition = std::min(GetClockPosition(), GetEndPosition());
  if (t.m_bStop) return;

  const int nPos = m_nPosition;
  const int nDist = std::abs(nPos - m_nNotifiedPos);
  if (m_nNotifiedPos == 0 || static_cast<float>(nDist) > m_fNotifyThreshold.load() ||
      nDist > static_cast<int>(m_nMaxNotifyGap))
    NotifyPosition();

  if (m_bAudioOnly && m_pAudio) {
    if (nPos >= GetEndPosition() && !HandleEnd()) return;
  } else {
    if (t.m_bStop) return;
    if ((m_dwOptions & MOVIE_OPT_END_CHECK_FIRST) && nPos >= GetEndPosition() && !HandleEnd()) return;
    bool bNewFrame = false;
    {
      // Fetch and attach under one hold: the pointers a fetch returns are only
      // valid until the next fetch, which a seek may make in between.
      std::lock_guard frameLock(m_frameLock);
      const BITMAPINFOHEADER* pHeader = nullptr;
      const void* pBits = nullptr;
      const int nStream = m_nVideoStream;
      if (IsValidVideoStream(nStream) && FetchFrame(nStream, nPos, false, pHeader, pBits)) m_bPaletteChanged = true;
      const int nCur = m_nCurSample;
      if (pHeader && nCur != m_nShownSample && !t.m_bStop) {
        AttachFrame(pHeader, pBits);
        bNewFrame = true;
      }
    }
    if (t.m_bStop) return;
    if (bNewFrame) {
      RequestRepaint();
    } else if (nPos >= GetEndPosition() && !HandleEnd()) {
      return;
    }
  }
  m_nShownSample = m_nCurSample.load();
  m_dwClockBase = m_dwLastClock.load();
}

// ---------------------------------------------------------------------------
// Window timers.

void WYXMovieWnd::OnTimer(UINT nIDEvent) {
  if (nIDEvent == IDT_SEEK_REFRESH) {
    // Killed meanwhile (from the worker): its last message does not count.
    if (m_nSeekRefreshTimer == 0) return;
    KillWindowTimer(IDT_SEEK_REFRESH);
    const int nPending = m_nPendingPos;
    if (nPending >= 0) {
      m_dwLastClock = m_dwClockBase = timeGetTime();
      m_bClockFromSound = false;
      std::lock_guard frameLock(m_frameLock);
      const BITMAPINFOHEADER* pHeader = nullptr;
      const void* pBits = nullptr;
      const int nStream = m_nVideoStream;
      if (IsValidVideoStream(nStream)) {
        if (FetchFrame(nStream, nPending, false, pHeader, pBits)) m_bPaletteChanged = true;
        const int nCur = m_nCurSample;
        if (pHeader) {
          m_nPosition = nPending;
          m_nPendingPos = -1;
          if (nCur != m_nShownSample) {
            m_nShownSample = nCur;
            AttachFrame(pHeader, pBits);
            RequestRepaint();
          }
        }
      }
    }
  } else if (nIDEvent == IDT_DEFERRED_PLAY) {
    if (m_nDeferredPlayTimer == 0) return;
    KillWindowTimer(IDT_DEFERRED_PLAY);
    Play();
  }
}

// ---------------------------------------------------------------------------
// Presentation.

void WYXMovieWnd::PrepareDC(QPainter& /*painter*/) {}

void WYXMovieWnd::RebuildPalette() {
  m_palette.assign(256, PALETTEENTRY{0, 0, 0, 0});
  const int nStream = m_nVideoStream;
  if (const RGBQUAD* pTable = IsValidVideoStream(nStream) ? m_file->GetColourTable(nStream) : nullptr) {
    for (int i = 0; i < 256; ++i)
      m_palette[i] = PALETTEENTRY{pTable[i].rgbRed, pTable[i].rgbGreen, pTable[i].rgbBlue, 0};
  }
  ++m_nPaletteBuilds;
}

void WYXMovieWnd::DrawFrame(QPainter& painter) {
  const QRect client = GetClientRect();
  painter.setClipRect(client);
  const QColor back = ToQColor(m_crBack);
  if (!m_bHasFrame) {
    painter.fillRect(client, back);
    return;
  }
  PrepareDC(painter);

  std::lock_guard frameLock(m_frameLock);
  if (m_bUsePalette && m_bPaletteChanged.exchange(false)) RebuildPalette();

  const int w = m_dib.GetWidth();
  const int h = m_dib.GetHeight();
  const int cw = client.width();
  const int ch = client.height();
  int dw = w;
  int dh = h;
  const DWORD dwOptions = m_dwOptions;
  const bool bScale = ((dwOptions & MOVIE_OPT_SHRINK_TO_FIT) && (cw < w || ch < h)) ||
                      ((dwOptions & MOVIE_OPT_STRETCH_TO_FIT) && (cw > w || ch > h));
  if (bScale && w > 0 && h > 0) {
    const float sx = static_cast<float>(cw) / static_cast<float>(w);
    const float sy = static_cast<float>(ch) / static_cast<float>(h);
    const float s = std::min(sx, sy);
    dw = static_cast<int>(static_cast<float>(w) * s);
    dh = static_cast<int>(static_cast<float>(h) * s);
  }
  int x = 0;
  int y = 0;
  bool bFill = false;
  if (dw < cw) {
    x = (cw - dw) / 2;
    bFill = true;
  }
  if (dh < ch) {
    y = (ch - dh) / 2;
    bFill = true;
  }
  m_dib.Draw(painter, x, y, dw, dh, 0, 0, w, h, COLORONCOLOR, SRCCOPY);

  if (bFill) {
    // Around the picture only, in the scrolled coordinates.
    QRect area(0, 0, cw, ch);
    const QPointF origin = painter.transform().map(QPointF(0, 0)) - QPointF(client.topLeft());
    if (origin != QPointF(0, 0)) {
      area.setRight(area.right() - static_cast<int>(origin.x()));
      area.setBottom(area.bottom() - static_cast<int>(origin.y()));
    }
    painter.save();
    painter.setClipRegion(QRegion(area).subtracted(QRegion(x, y, dw, dh)), Qt::IntersectClip);
    painter.fillRect(area, back);
    painter.restore();
  }
}

void WYXMovieWnd::paintEvent(QPaintEvent* /*pEvent*/) {
  QPainter painter(this);
  // Whatever the client area leaves (the corner between two scroll bars).
  const QRect client = GetClientRect();
  if (client != rect()) {
    painter.save();
    painter.setClipRegion(QRegion(rect()).subtracted(QRegion(client)));
    painter.fillRect(rect(), palette().window());
    painter.restore();
  }
  std::lock_guard frameLock(m_frameLock);
  DrawFrame(painter);
}

void WYXMovieWnd::OnPaletteChanged(QWidget* pChangedBy) {
  if (pChangedBy != this) update();
}

void WYXMovieWnd::OnQueryNewPalette() {
  // True-colour output realises nothing, so no entry ever changes and no
  // repaint is needed; the palette itself is kept current by DrawFrame.
}
