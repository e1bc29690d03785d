#include "transport/tcp_connection.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <istream>
#include <ostream>

#include "transport/transport_exceptions.h"

namespace mailferry {
namespace {

// Receive and send errors after which the connection is gone and the socket is dropped.
bool ReceiveErrorDropsSocket(SocketErrorCode code) { return code == 10058 || code == 10053; }
bool SendErrorDropsSocket(SocketErrorCode code) {
  return code == 10058 || code == 10053 || code == 10054;
}

std::size_t Find(const char* data, std::size_t size, std::string_view needle) {
  if (needle.size() == 1) {
    const void* hit = std::memchr(data, needle.front(), size);
    return hit == nullptr ? std::string_view::npos : static_cast<const char*>(hit) - data;
  }
  return std::string_view(data, size).find(needle);
}

}  // namespace

bool AllowedReplies::AcceptsAny() const {
  return std::find(codes_.begin(), codes_.end(), kAnyReply) != codes_.end();
}

bool AllowedReplies::Accepts(int code) const {
  if (AcceptsAny()) return true;
  const auto as16 = [](int value) { return static_cast<std::int16_t>(value); };
  return std::any_of(codes_.begin(), codes_.end(),
                     [&](int allowed) { return as16(allowed) == as16(code); });
}

TMfTCPConnection::TMfTCPConnection(SocketLayer& layer) : layer_(layer) {}

TMfTCPConnection::~TMfTCPConnection() { DropSocket(); }

bool TMfTCPConnection::CheckClosed(bool raise, bool ignore_buffer) {
  bool closed = false;
  if (holder_) {
    if (closed_gracefully_) {
      if (holder_->Connected()) DropSocket();
      closed = true;
    } else {
      closed = !holder_->Connected();
    }
  }
  if (closed && raise && (Buffered() == 0 || ignore_buffer)) throw EMfConnClosedGracefully();
  return closed;
}

bool TMfTCPConnection::IsConnected() {
  CheckClosed(false, false);
  return SocketOpen();
}

void TMfTCPConnection::CloseConnection() {
  if (IsConnected()) {
    // Whatever was written before the close is sent as it would have been without buffering;
    // the socket is going away, so a failure here has no one left to tell.
    try {
      Flush();
    } catch (const EMfException&) {
    }
    DropSocket();
  }
  holder_.reset();
}

void TMfTCPConnection::DropSocket() {
  output_.clear();
  if (!holder_) return;
  closed_gracefully_ = true;
  TMfSocketHandle& binding = holder_->Binding();
  if (binding.HandleAllocated()) {
    binding.MarkClosed();
    stack().ShutdownSend(binding.Handle());
    stack().Close(binding.Handle());
  }
}

TMfIOHandlerSocket& TMfTCPConnection::PrepareHolder() {
  if (!holder_) holder_ = std::make_unique<TMfIOHandlerSocket>();
  holder_->Binding().Reset();
  input_begin_ = input_end_ = 0;
  output_.clear();
  closed_gracefully_ = false;
  last_line_was_dot_ = false;
  return *holder_;
}

void TMfTCPConnection::MakeRoom(std::size_t count) {
  if (input_.size() - input_end_ >= count) return;
  if (input_begin_ > 0) {
    std::memmove(input_.data(), input_.data() + input_begin_, Buffered());
    input_end_ -= input_begin_;
    input_begin_ = 0;
  }
  if (input_.size() - input_end_ < count) {
    input_.resize(std::max(input_end_ + count, input_.size() * 2));
  }
}

void TMfTCPConnection::Consume(std::size_t count) {
  input_begin_ += count;
  if (input_begin_ == input_end_) {
    input_begin_ = input_end_ = 0;
  } else if (input_begin_ >= kInputCompactThreshold) {
    std::memmove(input_.data(), input_.data() + input_begin_, Buffered());
    input_end_ -= input_begin_;
    input_begin_ = 0;
  }
}

int TMfTCPConnection::FillInputBuffer(bool raise_if_closed, int timeout, bool raise_on_timeout) {
  CheckClosed(raise_if_closed, false);
  if (!SocketOpen()) {
    if (raise_if_closed) throw EMfNotConnected();
    return 0;
  }
  // The peer can only answer what it has been sent.
  if (!output_.empty()) Flush();

  if (timeout == -1) timeout = read_timeout_;
  const bool bounded_by_silence = timeout <= 0;
  const auto bound =
      std::min<std::chrono::milliseconds::rep>(silent_server_bound_.count(), INT_MAX);
  const int wait_ms = bounded_by_silence ? static_cast<int>(bound) : timeout;

  std::ptrdiff_t received = 0;
  do {
    SocketErrorCode error = 0;
    const SocketHandle handle = holder_->Binding().Handle();
    switch (stack().WaitReadable(handle, wait_ms, &error)) {
      case WaitResult::kFailed:
        throw EMfSocketError(error);
      case WaitResult::kTimedOut:
        if (raise_on_timeout || bounded_by_silence) throw EMfReadTimeout();
        return -1;
      case WaitResult::kReadable:
        break;
    }
    const auto size = static_cast<std::size_t>(recv_buffer_size_);
    MakeRoom(size);
    received = stack().Receive(handle, input_.data() + input_end_, size, &error);
    if (received == 0) {
      closed_gracefully_ = true;
    } else if (received < 0) {
      if (!ReceiveErrorDropsSocket(error)) throw EMfSocketError(error);
      DropSocket();
      if (Buffered() == 0) throw EMfSocketError(error);
      received = 0;
    } else {
      input_end_ += static_cast<std::size_t>(received);
    }
    CheckClosed(raise_if_closed, false);
  } while (received == 0 && SocketOpen());
  return static_cast<int>(received);
}

void TMfTCPConnection::CheckForDisconnect() {
  try {
    FillInputBuffer(false, 1, false);
  } catch (const EMfException&) {
  }
}

std::size_t TMfTCPConnection::ExtractInput(std::size_t max_count, std::string* destination) {
  const std::size_t count = std::min(max_count, Buffered());
  destination->append(input_.data() + input_begin_, count);
  Consume(count);
  return count;
}

std::string TMfTCPConnection::ReadLine(std::string_view terminator, int timeout, int max_length) {
  bool complete = false;
  return ReadLineImpl(terminator, timeout, max_length, max_line_action_, &complete);
}

std::string TMfTCPConnection::ReadLineImpl(std::string_view terminator, int timeout, int max_length,
                                           TMfMaxLineAction action, bool* complete) {
  if (terminator.empty()) terminator = "\n";
  if (max_length < 0) max_length = max_line_length_;
  const auto limit = static_cast<std::size_t>(max_length);
  // Bytes at the front of the buffer already searched in this call.
  std::size_t searched = 0;
  for (;;) {
    const std::size_t available = Buffered();
    std::size_t found = std::string_view::npos;
    if (available >= terminator.size()) {
      const char* data = input_.data() + input_begin_;
      const std::size_t hit = Find(data + searched, available - searched, terminator);
      if (hit != std::string_view::npos) {
        found = searched + hit;
      } else {
        searched = available - (terminator.size() - 1);
      }
    }
    if (limit > 0 && (found != std::string_view::npos ? found > limit : available > limit)) {
      if (action == maException) throw EMfReadLnMaxLineLengthExceeded();
      std::string part(input_.data() + input_begin_, limit);
      Consume(limit);
      *complete = false;
      last_line_was_dot_ = false;
      return part;
    }
    if (found != std::string_view::npos) {
      const char* data = input_.data() + input_begin_;
      std::size_t length = found;
      if (terminator == "\n" && length > 0 && data[length - 1] == '\r') --length;
      std::string line(data, length);
      Consume(found + terminator.size());
      *complete = true;
      last_line_was_dot_ = line == ".";
      return line;
    }
    CheckClosed(true, true);
    if (FillInputBuffer(true, timeout, timeout == -1) == -1) {
      *complete = false;
      return {};
    }
  }
}

std::string TMfTCPConnection::ReadTrimmedLine() {
  for (int attempt = 0; attempt < INT_MAX; ++attempt) {
    const std::string line = ReadLine();
    const std::string_view trimmed = TrimControls(line);
    if (!trimmed.empty()) return std::string(trimmed);
  }
  return {};
}

void TMfTCPConnection::ReadReply() {
  std::vector<std::string> lines;
  lines.push_back(ReadTrimmedLine());
  if (lines.front().size() > 3 && lines.front()[3] == '-') {
    const std::string end_mark = lines.front().substr(0, 3) + " ";
    for (;;) {
      lines.push_back(ReadTrimmedLine());
      const std::string& line = lines.back();
      if (line.size() < 4) break;
      const bool is_end =
          std::equal(end_mark.begin(), end_mark.end(), line.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
          });
      if (is_end) break;
    }
  }
  last_reply_.ParseReply(lines);
}

int TMfTCPConnection::CheckReply(const AllowedReplies& allowed) {
  if (!allowed.Accepts(last_reply_.NumericCode())) {
    throw EMfProtocolReplyError(last_reply_.NumericCode(), last_reply_.JoinedText());
  }
  return last_reply_.NumericCode();
}

int TMfTCPConnection::AwaitReply(const AllowedReplies& allowed) {
  ReadReply();
  return CheckReply(allowed);
}

int TMfTCPConnection::SendCommand(std::string_view text, const AllowedReplies& allowed) {
  WriteLine(text);
  return AwaitReply(allowed);
}

void TMfTCPConnection::WriteBytes(const char* data, std::ptrdiff_t count) {
  if (count <= 0) return;
  CheckClosed(true, true);
  if (!SocketOpen()) throw EMfNotConnected();
  output_.append(data, static_cast<std::size_t>(count));
  if (output_.size() >= kOutputFlushThreshold) Flush();
}

void TMfTCPConnection::WriteLine(std::string_view text) {
  CheckClosed(true, true);
  if (!SocketOpen()) throw EMfNotConnected();
  output_.append(text);
  output_.append("\r\n");
  if (output_.size() >= kOutputFlushThreshold) Flush();
}

void TMfTCPConnection::WriteLines(const std::vector<std::string>& lines) {
  for (const auto& line : lines) WriteLine(line);
}

void TMfTCPConnection::WriteStream(std::istream& stream, std::int64_t size) {
  std::vector<char> chunk(static_cast<std::size_t>(send_buffer_size_));
  std::int64_t left = size;
  while (size < 0 || left > 0) {
    std::size_t want = chunk.size();
    if (size >= 0) want = static_cast<std::size_t>(std::min<std::int64_t>(left, want));
    stream.read(chunk.data(), static_cast<std::streamsize>(want));
    const auto got = static_cast<std::size_t>(stream.gcount());
    if (got == 0) {
      if (size < 0) break;
      throw EMfNoDataToRead();
    }
    WriteBytes(chunk.data(), static_cast<std::ptrdiff_t>(got));
    left -= static_cast<std::int64_t>(got);
  }
  Flush();
}

void TMfTCPConnection::Flush() {
  if (output_.empty()) return;
  std::string pending;
  pending.swap(output_);
  SendAll(pending.data(), pending.size());
  // Keep the grown buffer for the next block.
  pending.clear();
  if (output_.empty()) output_.swap(pending);
}

void TMfTCPConnection::SendAll(const char* data, std::size_t size) {
  std::size_t sent = 0;
  while (sent < size) {
    if (!SocketOpen()) throw EMfClosedSocket();
    SocketErrorCode error = 0;
    const std::ptrdiff_t count =
        stack().Send(holder_->Binding().Handle(), data + sent, size - sent, &error);
    if (count < 0) {
      if (SendErrorDropsSocket(error)) DropSocket();
      throw EMfSocketError(error);
    }
    if (count == 0) {
      closed_gracefully_ = true;
      CheckClosed(true, false);
    }
    sent += static_cast<std::size_t>(count);
  }
}

template <typename Sink>
int TMfTCPConnection::CaptureInto(Sink&& sink, std::string_view delimiter, bool dot_stuffed) {
  int count = 0;
  for (;;) {
    std::string line = ReadLine();
    if (line == delimiter) return count;
    if (dot_stuffed && line.size() >= 2 && line[0] == '.' && line[1] == '.') line.erase(0, 1);
    sink(std::move(line));
    ++count;
  }
}

int TMfTCPConnection::CaptureLines(std::vector<std::string>* lines, std::string_view delimiter,
                                   bool dot_stuffed) {
  return CaptureInto(
      [lines](std::string&& line) {
        if (lines != nullptr) lines->push_back(std::move(line));
      },
      delimiter, dot_stuffed);
}

int TMfTCPConnection::CaptureLines(std::ostream* stream, std::string_view delimiter,
                                   bool dot_stuffed) {
  return CaptureInto(
      [stream](std::string&& line) {
        if (stream != nullptr) *stream << line << "\r\n";
      },
      delimiter, dot_stuffed);
}

int TMfTCPConnection::SkipLinesThrough(std::string_view delimiter) {
  // Lines are taken in pieces no longer than one receive, so a line of any length passes
  // without being held whole; only a piece that starts a line can be the delimiter.
  const int piece = std::max(recv_buffer_size_, static_cast<int>(delimiter.size()) + 2);
  int skipped = 0;
  bool at_line_start = true;
  for (;;) {
    bool complete = false;
    const std::string part = ReadLineImpl("\n", -1, piece, maSplit, &complete);
    if (at_line_start && complete && part == delimiter) return skipped;
    if (complete) ++skipped;
    at_line_start = complete;
  }
}

}  // namespace mailferry
