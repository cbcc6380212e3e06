// For tests: records what an input device's callback receives and opens inputs with queued
// buffers, so that cases can wait (bounded) for what they expect.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/windows_api.h"

struct ReceivedEvent {
    UINT message;
    DWORD_PTR param1;
    DWORD_PTR param2;
    std::vector<BYTE> bytes;  // of a returned buffer, as recorded
    DWORD flags;              // of a returned buffer
    std::thread::id thread;
    std::chrono::steady_clock::time_point at;
};

class InputRecorder {
  public:
    static void CALLBACK callback(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                  DWORD_PTR param2) {
        InputRecorder* self = reinterpret_cast<InputRecorder*>(instance);
        ReceivedEvent event{message,
                            param1,
                            param2,
                            {},
                            0,
                            std::this_thread::get_id(),
                            std::chrono::steady_clock::now()};
        if (message == MIM_LONGDATA) {
            const MIDIHDR* header = reinterpret_cast<const MIDIHDR*>(param1);
            event.bytes.assign(header->lpData, header->lpData + header->dwBytesRecorded);
            event.flags = header->dwFlags;
        }
        if (message == MIM_LONGDATA && self->slowBuffers.count() > 0) {
            std::this_thread::sleep_for(self->slowBuffers);  // a program slow to take buffers
        }
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->events_.push_back(std::move(event));
        self->changed_.notify_all();
    }

    std::vector<ReceivedEvent> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

    std::vector<ReceivedEvent> ofType(UINT message) {
        std::vector<ReceivedEvent> matching;
        for (ReceivedEvent& event : events()) {
            if (event.message == message) {
                matching.push_back(std::move(event));
            }
        }
        return matching;
    }

    // Waits up to timeoutMs until `count` events of that type have arrived.
    bool awaitCount(UINT message, size_t count, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            size_t seen = 0;
            for (const ReceivedEvent& event : events_) {
                seen += event.message == message;
            }
            return seen >= count;
        });
    }

    // Waits up to timeoutMs until `ends` returned buffers end with F7.
    bool awaitSysExEnd(size_t ends, int timeoutMs = 5000) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            size_t seen = 0;
            for (const ReceivedEvent& event : events_) {
                seen += event.message == MIM_LONGDATA && !event.bytes.empty() &&
                        event.bytes.back() == 0xF7;
            }
            return seen >= ends;
        });
    }

    // Time each returned buffer's callback takes; set before the device opens.
    std::chrono::milliseconds slowBuffers{0};

    void clear() {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.clear();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ReceivedEvent> events_;
};

// An open input device with prepared, queued buffers; closed (reset, unprepared) at the end.
struct OpenInput {
    HMIDIIN handle = nullptr;
    std::vector<std::unique_ptr<char[]>> memory;
    std::vector<MIDIHDR> headers;

    MMRESULT open(UINT device, InputRecorder& recorder, size_t buffers, DWORD bufferSize) {
        MMRESULT result =
            midiInOpen(&handle, device, reinterpret_cast<DWORD_PTR>(&InputRecorder::callback),
                       reinterpret_cast<DWORD_PTR>(&recorder), CALLBACK_FUNCTION);
        if (result != MMSYSERR_NOERROR) {
            return result;
        }
        headers.resize(buffers);
        for (size_t i = 0; i < buffers; ++i) {
            memory.emplace_back(new char[bufferSize]);
            MIDIHDR& header = headers[i];
            std::memset(&header, 0, sizeof header);
            header.lpData = memory.back().get();
            header.dwBufferLength = bufferSize;
            if ((result = midiInPrepareHeader(handle, &header, sizeof header)) != 0 ||
                (result = midiInAddBuffer(handle, &header, sizeof header)) != 0) {
                return result;
            }
        }
        return MMSYSERR_NOERROR;
    }

    void close() {
        if (handle == nullptr) {
            return;
        }
        midiInReset(handle);
        for (MIDIHDR& header : headers) {
            midiInUnprepareHeader(handle, &header, sizeof header);
        }
        midiInClose(handle);
        handle = nullptr;
    }

    ~OpenInput() { close(); }
};

// The device number whose capability name is `name`; -1 when there is none.
inline int findInputDevice(const std::string& name) {
    UINT count = midiInGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIINCAPSA caps{};
        if (midiInGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR && name == caps.szPname) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

inline int findOutputDevice(const std::string& name) {
    UINT count = midiOutGetNumDevs();
    for (UINT i = 0; i < count; ++i) {
        MIDIOUTCAPSA caps{};
        if (midiOutGetDevCapsA(i, &caps, sizeof caps) == MMSYSERR_NOERROR && name == caps.szPname) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Sends bytes as one long message and unprepares the header again.
inline MMRESULT sendLong(HMIDIOUT out, std::vector<BYTE> bytes) {
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(bytes.data());
    header.dwBufferLength = static_cast<DWORD>(bytes.size());
    MMRESULT result = midiOutPrepareHeader(out, &header, sizeof header);
    if (result == MMSYSERR_NOERROR) {
        result = midiOutLongMsg(out, &header, sizeof header);
        midiOutUnprepareHeader(out, &header, sizeof header);
    }
    return result;
}
