// Reading and writing whole messages over the real line connection on in-memory sockets: a
// message with a 50 MB base64 attachment (which must stream through its temp file, never held
// in memory) and a message of 10 MB quoted-printable text. Bytes processed are the bytes on the
// wire. The counters peak_rss_mb and rss_growth_mb report the process's peak resident memory
// (getrusage) and how far it rose above the program's baseline before the first message.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "message/coders.h"
#include "message/message.h"
#include "message/message_reader.h"
#include "message/message_writer.h"
#include "platform/linux_temp_files.h"
#include "support/fake_clock.h"
#include "support/fake_locale_language.h"
#include "support/memory_connection.h"
#include "support/temp_dir.h"

namespace mailferry {
namespace {

constexpr std::int64_t kAttachmentBytes = 50 * 1000 * 1000;
constexpr std::int64_t kTextBytes = 10 * 1000 * 1000;

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in kilobytes
}

const double kBaselineRssMb = PeakRssMb();

// Produces a POP3 retrieval line by line, so that the whole stream is never in memory.
class RetrievalSource {
 public:
  enum class Kind { kAttachment, kText };

  explicit RetrievalSource(Kind kind) : kind_(kind) {
    pending_ =
        "From: Bench <bench@remote.example>\r\n"
        "To: office@remote.example\r\n"
        "Subject: Benchmark\r\n"
        "Date: Tue, 1 Feb 2005 10:20:30 +0100\r\n"
        "MIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"bench-boundary\"\r\n"
        "\r\n"
        "--bench-boundary\r\n"
        "Content-Type: text/plain; charset=iso-8859-1\r\n"
        "Content-Transfer-Encoding: quoted-printable\r\n"
        "\r\n";
    if (kind_ == Kind::kAttachment) {
      pending_ +=
          "See the attachment.\r\n"
          "--bench-boundary\r\n"
          "Content-Type: application/octet-stream; name=\"data.bin\"\r\n"
          "Content-Disposition: attachment; filename=\"data.bin\"\r\n"
          "Content-Transfer-Encoding: base64\r\n"
          "\r\n";
    }
  }

  std::size_t Read(char* buffer, std::size_t size) {
    while (pending_.size() - offset_ < size && !done_) Refill();
    const std::size_t count = std::min(size, pending_.size() - offset_);
    pending_.copy(buffer, count, offset_);
    offset_ += count;
    wire_bytes_ += static_cast<std::int64_t>(count);
    return count;
  }

  std::int64_t wire_bytes() const { return wire_bytes_; }

 private:
  void Refill() {
    pending_.erase(0, offset_);
    offset_ = 0;
    const std::int64_t total = kind_ == Kind::kAttachment ? kAttachmentBytes : kTextBytes;
    if (produced_ >= total) {
      pending_ += "--bench-boundary--\r\n.\r\n";
      done_ = true;
      return;
    }
    if (kind_ == Kind::kAttachment) {
      // 57 bytes of changing content per 76-character line.
      std::string chunk(57, '\0');
      for (char& c : chunk) c = static_cast<char>((state_ = state_ * 1103515245 + 12345) >> 16);
      pending_ += Base64Encode(chunk);
      produced_ += 57;
    } else {
      pending_ +=
          "Caf=E9 cr=E8me and a line of ordinary text of a typical length in a letter =\r\n";
      produced_ += 76;
    }
    pending_ += "\r\n";
  }

  Kind kind_;
  std::string pending_;
  std::size_t offset_ = 0;
  std::int64_t produced_ = 0;
  std::int64_t wire_bytes_ = 0;
  std::uint32_t state_ = 1;
  bool done_ = false;
};

struct Ports {
  testing::TempDir dir;
  LinuxTempFiles temp_files{dir.path().string()};
  testing::FakeClock clock{38384.5, 60};
  testing::FakeLocaleLanguage locale{"en", "US", true};
  MessagePorts ports() { return {&temp_files, &clock, &locale}; }
};

// Reads the generated message into message; returns the bytes read from the wire.
std::int64_t ReadInto(TMfMessage& message, RetrievalSource::Kind kind) {
  RetrievalSource source(kind);
  testing::MemorySocketStack::Peer peer;
  peer.stream = [&source](char* buffer, std::size_t size) { return source.Read(buffer, size); };
  testing::MemoryConnection in(std::move(peer));
  ReceiveMessage(in.connection(), message);
  return source.wire_bytes();
}

// Writes message to a connection whose peer only counts; returns the bytes written.
std::int64_t WriteOut(TMfMessage& message) {
  std::int64_t written = 0;
  testing::MemorySocketStack::Peer peer;
  peer.stream = testing::StreamOf("");
  peer.sink = [&written](std::string_view bytes) {
    written += static_cast<std::int64_t>(bytes.size());
  };
  testing::MemoryConnection out(std::move(peer));
  WriteMessage(out.connection(), message);
  out.connection().Flush();
  return written;
}

void ReportMemory(benchmark::State& state) {
  const double peak = PeakRssMb();
  state.counters["peak_rss_mb"] = peak;
  state.counters["rss_growth_mb"] = peak - kBaselineRssMb;
}

void BM_ReceiveMessage(benchmark::State& state, RetrievalSource::Kind kind) {
  Ports ports;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    TMfMessage message(ports.ports());
    bytes += ReadInto(message, kind);
    benchmark::DoNotOptimize(message.MessageParts().Count());
  }
  state.SetBytesProcessed(bytes);
  ReportMemory(state);
}

void BM_WriteMessage(benchmark::State& state, RetrievalSource::Kind kind) {
  Ports ports;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto message = std::make_unique<TMfMessage>(ports.ports());
    ReadInto(*message, kind);
    state.ResumeTiming();
    bytes += WriteOut(*message);
    state.PauseTiming();
    message.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(bytes);
  ReportMemory(state);
}

BENCHMARK_CAPTURE(BM_ReceiveMessage, attachment_50mb, RetrievalSource::Kind::kAttachment)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_WriteMessage, attachment_50mb, RetrievalSource::Kind::kAttachment)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_ReceiveMessage, qp_text_10mb, RetrievalSource::Kind::kText)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(BM_WriteMessage, qp_text_10mb, RetrievalSource::Kind::kText)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace
}  // namespace mailferry

BENCHMARK_MAIN();
