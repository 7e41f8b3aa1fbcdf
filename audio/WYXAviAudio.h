// The wave output engine fed from one sound stream of an AVI file, opened a
// second time through a movie file object of its own. Its position stops the
// clock (clears m_bStarted) at the end of the sound and when the device
// reports the same position five times in a row.
//
// Playing from a time t: Stop, SetStartTime(t), Resume.
#pragma once

#include <atomic>
#include <memory>

#include "audio/WYXAudio.h"

class WYXAviFile;

class WYXAviAudio : public WYXAudio {
 public:
  WYXAviAudio();
  ~WYXAviAudio() override;

  const char* GetRuntimeClassName() const override { return "WYXAviAudio"; }

  void GetBufferSpec(int& nSize, int& nCount) override;
  WAVEFORMATEX* GetFormat() override;
  bool OnInputBuffer(WAVEHDR* pHdr) override;
  bool FillBuffer(WAVEHDR* pHdr) override;
  bool QueueBuffers() override;
  // Opens the file (its failures show their own messages) and takes sound
  // stream nStream; a stream the file does not have closes it again.
  bool OpenFile(const char* pszFile, int nStream) override;
  bool IsFileOpen() override;
  bool CloseFile() override;
  int GetPosition() override;
  int GetDuration() override;  // end time of the stream, 0 without one

 protected:
  std::unique_ptr<WYXAviFile> m_file;
  std::atomic<int> m_nStream{-1};

 private:
  std::unique_ptr<BYTE[]> m_formatCopy;  // what GetFormat hands out
};
