// The wave-input (recording) API that TWaveIn drives, with the platform's names, signatures and values.
//
// On Windows this is the multimedia library itself (winmm). Elsewhere the same calls are declared here, in the
// global namespace with C linkage, and one implementation is linked in: the ALSA layer (capture_alsa) in the
// program, a scripted fake (wavein_fake) in the recorder's tests.
#pragma once

#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <mmsystem.h>

#else

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using DWORD_PTR = std::uintptr_t;
using MMRESULT = UINT;
using LPSTR = char*;

struct HWND__;
using HWND = HWND__*;
struct HWAVEIN__;
using HWAVEIN = HWAVEIN__*;
using LPHWAVEIN = HWAVEIN*;

#ifndef CALLBACK
#define CALLBACK
#endif

// Device identifier of the mapper: the device the platform chooses (the default recording device).
constexpr UINT WAVE_MAPPER = static_cast<UINT>(-1);

// waveInOpen flags.
constexpr DWORD CALLBACK_NULL = 0x00000000;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

// Callback messages.
constexpr UINT MM_WIM_OPEN = 0x3BE;   // 958
constexpr UINT MM_WIM_CLOSE = 0x3BF;  // 959
constexpr UINT MM_WIM_DATA = 0x3C0;   // 960
constexpr UINT WIM_OPEN = MM_WIM_OPEN;
constexpr UINT WIM_CLOSE = MM_WIM_CLOSE;
constexpr UINT WIM_DATA = MM_WIM_DATA;

// WAVEHDR.dwFlags.
constexpr DWORD WHDR_DONE = 0x00000001;
constexpr DWORD WHDR_PREPARED = 0x00000002;
constexpr DWORD WHDR_BEGINLOOP = 0x00000004;
constexpr DWORD WHDR_ENDLOOP = 0x00000008;
constexpr DWORD WHDR_INQUEUE = 0x00000010;

constexpr WORD WAVE_FORMAT_PCM = 1;

// Result codes.
constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_BASE = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MMSYSERR_INVALIDALIAS = 13;
constexpr MMRESULT MMSYSERR_BADDB = 14;
constexpr MMRESULT MMSYSERR_KEYNOTFOUND = 15;
constexpr MMRESULT MMSYSERR_READERROR = 16;
constexpr MMRESULT MMSYSERR_WRITEERROR = 17;
constexpr MMRESULT MMSYSERR_DELETEERROR = 18;
constexpr MMRESULT MMSYSERR_VALNOTFOUND = 19;
constexpr MMRESULT MMSYSERR_NODRIVERCB = 20;
constexpr MMRESULT MMSYSERR_MOREDATA = 21;
constexpr MMRESULT MMSYSERR_LASTERROR = 21;
constexpr MMRESULT WAVERR_BASE = 32;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr MMRESULT WAVERR_SYNC = 35;
constexpr MMRESULT WAVERR_LASTERROR = 35;

// Largest text waveInGetErrorTextA writes, NUL included.
constexpr UINT MAXERRORLENGTH = 256;

#pragma pack(push, 1)
// The wave format, 18 bytes without padding, as on the platform.
struct WAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX is 18 bytes");
using LPWAVEFORMATEX = WAVEFORMATEX*;
using LPCWAVEFORMATEX = const WAVEFORMATEX*;

// One data buffer handed to the device (32 bytes with 32-bit addresses, 48 with 64-bit ones).
struct WAVEHDR {
    LPSTR lpData;            // the buffer
    DWORD dwBufferLength;    // its length in bytes
    DWORD dwBytesRecorded;   // written by the device
    DWORD_PTR dwUser;        // the client's
    DWORD dwFlags;           // WHDR_*
    DWORD dwLoops;
    WAVEHDR* lpNext;         // reserved
    DWORD_PTR reserved;
};
using LPWAVEHDR = WAVEHDR*;

// The form of a CALLBACK_FUNCTION callback: (device, message, instance data, parameter 1, parameter 2).
// For MM_WIM_DATA parameter 1 is the address of the returned WAVEHDR. As on the platform, the generic driver
// callback types the device as an HDRVR; a wave-input client declares it as the HWAVEIN it is.
struct HDRVR__;
using HDRVR = HDRVR__*;
using DRVCALLBACK = void CALLBACK(HDRVR hdrvr, UINT uMsg, DWORD_PTR dwUser, DWORD_PTR dw1, DWORD_PTR dw2);
using LPDRVCALLBACK = DRVCALLBACK*;
using WAVECALLBACK = DRVCALLBACK;

extern "C" {
UINT waveInGetNumDevs(void);
MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback,
                    DWORD_PTR dwInstance, DWORD fdwOpen);
MMRESULT waveInClose(HWAVEIN hwi);
MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh);
MMRESULT waveInStart(HWAVEIN hwi);
MMRESULT waveInStop(HWAVEIN hwi);
MMRESULT waveInReset(HWAVEIN hwi);
MMRESULT waveInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText);
}

#endif
