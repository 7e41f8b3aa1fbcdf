// The child window that plays one AVI movie: loads it, keeps the playback
// state and position, paces playback on a worker thread against the sound's
// or the system's clock, paints the current frame and reports to its parent
// with posted MovieNotifyEvent (WM_MOVIE_NOTIFY) events.
//
// Threads: the owner calls everything on the user-interface thread. The
// worker thread runs the clock steps; whatever it does to the window (repaint,
// window timers, closing the main window) is queued to the user-interface
// thread in the order it was issued. m_stateLock (Play, Pause, Stop) is always
// taken before m_frameLock (frame fetch, attach, drawing).
#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/MovieNotifyEvent.h"
#include "engine/WyDIB.h"
#include "platform/BitmapRecords.h"
#include "platform/WinTypes.h"

class WYXAviFile;
class WYXAviAudio;
class QPainter;

// Options word (SetOptions).
constexpr DWORD MOVIE_OPT_REPEAT = 0x0001;             // at the end, start again
constexpr DWORD MOVIE_OPT_CLOSE_AT_END = 0x0002;       // at the end, close the main window (beats repeat)
constexpr DWORD MOVIE_OPT_AUTOPLAY = 0x0004;           // play 25 ms after a successful Open
constexpr DWORD MOVIE_OPT_HOLD_LAST_FRAME = 0x0008;    // at the end, do not rewind
constexpr DWORD MOVIE_OPT_DRAG_MAIN_WINDOW = 0x0010;   // a click on the picture drags the main window
constexpr DWORD MOVIE_OPT_NO_DBLCLK_MAXIMIZE = 0x0020; // ... but a double click does not maximise it
constexpr DWORD MOVIE_OPT_SHRINK_TO_FIT = 0x0040;      // scale larger frames down; no scroll bars
constexpr DWORD MOVIE_OPT_STRETCH_TO_FIT = 0x0080;     // scale smaller frames up
constexpr DWORD MOVIE_OPT_LENGTH_WITH_SOUND = 0x0100;  // length = longer of video and sound
constexpr DWORD MOVIE_OPT_FIT_PARENT = 0x0200;         // FitToParent sizes to the parent; SetWindowRect refused
constexpr DWORD MOVIE_OPT_NOTIFY_POSITION = 0x0400;
constexpr DWORD MOVIE_OPT_NOTIFY_STATE = 0x0800;
constexpr DWORD MOVIE_OPT_END_CHECK_FIRST = 0x1000;    // each step tests for the end before fetching
constexpr DWORD MOVIE_OPT_NO_SEEK_RESUME = 0x2000;     // a seek while playing does not resume

// State codes (GetState, lParam of MOVIE_NOTIFY_STATE).
constexpr int MOVIE_NOT_LOADED = 0;
constexpr int MOVIE_NO_VIDEO = 1;
constexpr int MOVIE_NO_SOUND = 2;
constexpr int MOVIE_NO_STREAMS = 3;
constexpr int MOVIE_PLAYING = 4;
constexpr int MOVIE_PAUSED = 8;
constexpr int MOVIE_STOPPED = 16;
constexpr int MOVIE_SEEKING = 32;
constexpr int MOVIE_LOADED = 64;
constexpr int MOVIE_CLOSED = 128;

// Window timers.
constexpr UINT IDT_SEEK_REFRESH = 97;   // exact frame after fast seeks
constexpr UINT IDT_DEFERRED_PLAY = 98;  // Play 25 ms later

class WYXMovieWnd : public QWidget {
  Q_OBJECT

 public:
  class WYXMovieThread;  // the worker; defined with the window's implementation

  explicit WYXMovieWnd(QWidget* pParent = nullptr);
  ~WYXMovieWnd() override;

  // ---- loading and the queries ----
  virtual bool LoadMovie();
  virtual void OnFrameTick();  // one clock step; called by the worker only
  // Paints the current frame (or the background) into the client area.
  virtual void DrawFrame(QPainter& painter);
  virtual int GetStartPosition();
  virtual int GetClockPosition();
  virtual int GetEndPosition();
  // Moves the drawing origin before DrawFrame paints (the scrolling window
  // shifts it by the scroll position).
  virtual void PrepareDC(QPainter& painter);
  // Makes this a visible child of pParent placed at m_rcWindow.
  virtual BOOL CreateMovieWindow(QWidget* pParent);
  // Closes any movie, then opens and loads the file (".avi" names only, or
  // names without a four-character extension).
  virtual bool Open(const char* pszFile);
  // Moves to *pnPos, clamped in place to 0 .. GetEndPosition. bFinal: not an
  // intermediate step of a drag; bExact: no fast key-frame fetch;
  // bNoStopAtEnd: a final seek at the end does not stop playback. Returns the
  // state word found at entry (or Pause's result when it paused).
  virtual int Seek(int* pnPos, bool bFinal, bool bExact, bool bNoStopAtEnd);
  virtual int GetLength();
  virtual int GetPosition();
  virtual const BITMAPINFOHEADER* GetVideoFormat();

  void Close();

  // ---- transport ----
  int Play();                           // returns the state word after starting
  int Pause();                          // returns the state word
  void Stop(bool bRewind, bool bWait);  // bWait: until the worker has ended
  int StepForward();                    // one frame, when paused or stopped
  int StepBackward();

  int GetState() const;
  int GetStateWord() const;  // the raw state word (0-3, 64, 128 or 4, 8, 16)

  // ---- geometry ----
  // The area the movie needs (frame size, or the parent's size with a fit
  // option), at least m_sizeMin. Fills size and returns it.
  SIZE GetMovieSize(SIZE& size, bool bFrameOnly);
  void FitToParent();
  bool SetWindowRect(const RECT& rc);
  void SetOptions(DWORD dwOptions);
  // The part of the widget the picture is drawn in.
  virtual QRect GetClientRect() const;

  // ---- palette messages forwarded by the owner ----
  void OnPaletteChanged(QWidget* pChangedBy);
  void OnQueryNewPalette();

  // WM_TIMER: IDT_SEEK_REFRESH and IDT_DEFERRED_PLAY.
  void OnTimer(UINT nIDEvent);

  // The multimedia tick timer's callback: raises the worker's tick flag.
  static void MovieTimerProc(UINT uTimerID, UINT uMsg, void* dwUser, void* dw1, void* dw2);

  // Members set or read directly by owners (user-interface thread unless
  // atomic).
  COLORREF m_crBack = 0;
  std::atomic<DWORD> m_dwOptions{0};
  RECT m_rcWindow{0, 0, 100, 100};
  WyDIB m_dib;                           // under m_frameLock
  std::atomic<bool> m_bHasFrame{false};
  SIZE m_sizeMin{160, 120};
  WYXAviAudio* m_pAudio = nullptr;       // owned; changes only while no worker runs
  std::atomic<bool> m_bAudioOnly{false};
  std::unique_ptr<WYXAviFile> m_file;    // frame fetches under m_frameLock
  std::atomic<int> m_nShownSample{-1};
  std::atomic<int> m_nCurSample{-1};
  std::atomic<int> m_nPosition{0};
  std::atomic<DWORD> m_dwLastClock{0};
  std::atomic<DWORD> m_dwClockBase{0};
  std::atomic<int> m_nNotifiedPos{0};
  std::atomic<int> m_nVideoStream{-1};
  float m_fFrameMs = 0.0f;               // set by LoadMovie
  std::atomic<UINT> m_nDeferredPlayTimer{0};
  std::atomic<UINT> m_nTickTimer{0};
  UINT m_nTickPeriod = 10;               // set by LoadMovie
  std::atomic<float> m_fNotifyThreshold{0.0f};
  float m_fRate = 1.0f;
  std::atomic<bool> m_bSeeking{false};
  std::atomic<UINT> m_nSeekRefreshTimer{0};
  UINT m_nSeekRefreshDelay = 200;
  UINT m_nFastSeekFrames = 10;
  std::atomic<int> m_nPendingPos{-1};
  bool m_bUsePalette = false;
  std::atomic<bool> m_bPaletteChanged{false};
  std::vector<PALETTEENTRY> m_palette;   // rebuilt when the colour table changed
  int m_nPaletteBuilds = 0;              // how often it was rebuilt
  std::string m_strFile;
  UINT m_nMaxNotifyGap = 1000;
  mutable std::recursive_mutex m_frameLock;
  std::recursive_mutex m_stateLock;
  std::unique_ptr<WYXMovieThread> m_thread;

 protected:
  void NotifyState();
  void NotifyPosition();
  void PostNotify(unsigned wParam, LONG lParam);
  // Asks for a repaint of the client area; from the worker it is queued.
  void RequestRepaint();
  // Runs f on the user-interface thread: at once when called there, queued
  // (in order with every other queued effect) from the worker.
  template <class F>
  void RunOnUiThread(F&& f);
  // Window timers (ids 97, 98), usable from any thread; the member holding
  // the id reflects the last call at once.
  void ArmWindowTimer(UINT nId);
  void KillWindowTimer(UINT nId);
  // Called on a resize and on SetOptions; the scrolling window lays its bars
  // out here.
  virtual void OnSize();
  // At the end of the movie, on the worker: stop, then rewind, close the main
  // window or arm the repeat. False when the step must end at once.
  bool HandleEnd();

  void paintEvent(QPaintEvent* pEvent) override;
  void resizeEvent(QResizeEvent* pEvent) override;
  void mousePressEvent(QMouseEvent* pEvent) override;
  void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
  void contextMenuEvent(QContextMenuEvent* pEvent) override;
  void changeEvent(QEvent* pEvent) override;

 private:
  void AttachFrame(const BITMAPINFOHEADER* pHeader, const void* pBits);
  // One fetch from m_file under m_frameLock, moving m_nCurSample; returns
  // whether the colour table changed.
  bool FetchFrame(int nStream, int nTime, bool bKeyFramesOnly, const BITMAPINFOHEADER*& pHeader, const void*& pBits);
  bool IsValidVideoStream(int nStream) const;
  bool IsUiThread() const;
  void RebuildPalette();
  // Takes m_stateLock from the worker; gives up (false) once a stop has been
  // requested, since then the stopping thread may hold the lock while it
  // waits for this worker.
  bool LockStateFromWorker();

  // Effects the worker queued for the user-interface thread, in order. The
  // queue is ours rather than Qt's so that the hand-over is visible to the
  // thread checker.
  Q_INVOKABLE void DrainUiQueue();
  std::mutex m_uiQueueLock;
  std::deque<std::function<void()>> m_uiQueue;

  QTimer m_seekRefreshTimer;
  QTimer m_deferredPlayTimer;
  std::atomic<unsigned> m_nSeekRefreshSeq{0};
  std::atomic<unsigned> m_nDeferredPlaySeq{0};
  // The sound supplied the clock at the last reading; when it stops doing so
  // the system clock counts on from that moment.
  std::atomic<bool> m_bClockFromSound{false};
  // Where notifications go; kept for the worker, which must not ask the
  // widget tree.
  std::atomic<QWidget*> m_pNotifyParent{nullptr};
};
