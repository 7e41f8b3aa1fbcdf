// The movie window's only way of reporting to its owner: an event of type
// WM_MOVIE_NOTIFY posted (never sent) to the parent widget.
#pragma once

#include <QEvent>

#include "platform/WinTypes.h"

constexpr int WM_MOVIE_NOTIFY = 18555;

// wParam of a notification.
constexpr unsigned MOVIE_NOTIFY_STATE = 1;     // lParam: a MOVIE_* state code
constexpr unsigned MOVIE_NOTIFY_POSITION = 2;  // lParam: a position in ms

class MovieNotifyEvent : public QEvent {
 public:
  static constexpr QEvent::Type kType = static_cast<QEvent::Type>(WM_MOVIE_NOTIFY);

  MovieNotifyEvent(unsigned wParam, LONG lParam) : QEvent(kType), m_wParam(wParam), m_lParam(lParam) {}

  unsigned wParam() const { return m_wParam; }
  LONG lParam() const { return m_lParam; }

 private:
  unsigned m_wParam;
  LONG m_lParam;
};
