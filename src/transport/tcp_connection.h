// TMfTCPConnection: the blocking line connection under every conversation: buffered line input,
// buffered output, reading and checking numbered replies, dot-terminated text.
//
// A connection belongs to the thread that uses it; it has no lock. Every failure is an exception
// of the transport family (transport_exceptions.h). The socket stays open after a refused reply,
// a too-long line, a read time-out and socket errors other than the ones that mean the
// connection is gone; it is closed when a read or write finds that the peer closed, and after
// those errors.
#pragma once

#include <chrono>
#include <cstddef>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "transport/io_handler_socket.h"
#include "transport/rfc_reply.h"
#include "transport/socket_layer.h"
#include "transport/transport_constants.h"

namespace mailferry {

enum TMfMaxLineAction { maException, maSplit };

// The reply codes a command accepts: one code, several, or any reply (kAnyReply).
inline constexpr int kAnyReply = -1;

class AllowedReplies {
 public:
  AllowedReplies(int code) : codes_{code} {}  // NOLINT: a single code reads naturally
  AllowedReplies(std::initializer_list<int> codes) : codes_(codes) {}

  bool AcceptsAny() const;
  // Codes are compared as 16-bit values.
  bool Accepts(int code) const;

 private:
  std::vector<int> codes_;
};

class TMfTCPConnection {
 public:
  // A connection over the process-wide socket layer, or over the given one (tests).
  explicit TMfTCPConnection(SocketLayer& layer = SocketLayer::Process());
  virtual ~TMfTCPConnection();
  TMfTCPConnection(const TMfTCPConnection&) = delete;
  TMfTCPConnection& operator=(const TMfTCPConnection&) = delete;

  // Settings.
  int ReadTimeout() const { return read_timeout_; }
  // Milliseconds to wait for input; 0 waits up to SilentServerBound().
  void SetReadTimeout(int milliseconds) { read_timeout_ = milliseconds; }
  int MaxLineLength() const { return max_line_length_; }
  void SetMaxLineLength(int length) { max_line_length_ = length; }
  TMfMaxLineAction MaxLineAction() const { return max_line_action_; }
  void SetMaxLineAction(TMfMaxLineAction action) { max_line_action_ = action; }
  int RecvBufferSize() const { return recv_buffer_size_; }
  void SetRecvBufferSize(int size) { recv_buffer_size_ = size > 0 ? size : 1; }
  int SendBufferSize() const { return send_buffer_size_; }
  void SetSendBufferSize(int size) { send_buffer_size_ = size > 0 ? size : 1; }
  // The longest wait for input when no read time-out is set; ends with "Read Timeout".
  std::chrono::milliseconds SilentServerBound() const { return silent_server_bound_; }
  void SetSilentServerBound(std::chrono::milliseconds bound) { silent_server_bound_ = bound; }

  // The socket holder, absent before the first OpenConnection and after CloseConnection.
  TMfIOHandlerSocket* Socket() { return holder_.get(); }
  const TMfIOHandlerSocket* Socket() const { return holder_.get(); }
  bool ClosedGracefully() const { return closed_gracefully_; }
  // Bytes received and not yet consumed by a read.
  std::size_t InputBufferSize() const { return Buffered(); }

  // The last reply read.
  const TMfRFCReply& LastCmdResult() const { return last_reply_; }

  // Whether the connection counts as closed: a holder exists and the peer's close was seen or
  // its socket is not open (a seen close drops the socket). Raises "Connection Closed
  // Gracefully." when asked and either no input is buffered or buffered input is to be ignored.
  bool CheckClosed(bool raise, bool ignore_buffer);
  bool IsConnected();

  // Closes the socket (pending output is sent first as far as possible) and frees the holder.
  // Sends no protocol command; harmless when not connected.
  virtual void CloseConnection();
  // Marks the connection closed and closes an open socket; the holder stays. Unsent output is
  // discarded.
  void DropSocket();

  // One receive into the input buffer after waiting for input. timeout -1 means ReadTimeout.
  // Returns the bytes received, 0 when not open and not asked to raise, -1 on a time-out that
  // is not to be raised. A wait that reaches SilentServerBound() always raises.
  int FillInputBuffer(bool raise_if_closed, int timeout = -1, bool raise_on_timeout = true);
  // Gives the peer one millisecond to show that it closed; raises nothing.
  void CheckForDisconnect();
  // Moves up to max_count buffered bytes, unchanged, to the end of *destination; returns how many.
  // Receives nothing: for byte-counted reads (HTTP bodies) together with FillInputBuffer.
  std::size_t ExtractInput(std::size_t max_count, std::string* destination);

  // One line up to the terminator (LF by default, a CR before it dropped). max_length -1 means
  // MaxLineLength, 0 no limit. With an explicit timeout, a time-out returns an empty line.
  std::string ReadLine(std::string_view terminator = "\n", int timeout = -1, int max_length = -1);
  // ReadLine with the defaults, trimmed, skipping empty lines.
  std::string ReadTrimmedLine();
  // True when the last line ReadLine returned was "." alone.
  bool LastLineWasDot() const { return last_line_was_dot_; }

  // Reads one reply, continued lines included, into LastCmdResult().
  void ReadReply();
  // ReadReply, the protocol's classification, then the code check: raises
  // EMfProtocolReplyError when the code is not allowed. Returns the reply's NumericCode.
  virtual int AwaitReply(const AllowedReplies& allowed);
  // WriteLine(text), then AwaitReply.
  int SendCommand(std::string_view text, const AllowedReplies& allowed);

  // Output. Bytes are collected and sent in large blocks, at the latest before the next wait
  // for input; a send failure may therefore surface at a later write, a read or Flush.
  void WriteBytes(const char* data, std::ptrdiff_t count);
  void WriteBytes(std::string_view data) {
    WriteBytes(data.data(), static_cast<std::ptrdiff_t>(data.size()));
  }
  void WriteLine(std::string_view text);
  void WriteLines(const std::vector<std::string>& lines);
  // Sends size bytes of the stream (-1: up to its end) in chunks of SendBufferSize. Raises
  // "No data to read." when the stream ends before size bytes.
  void WriteStream(std::istream& stream, std::int64_t size = -1);
  // Sends all pending output now.
  void Flush();

  // Reads lines up to one that equals the delimiter (consumed, not stored). In dot-stuffed mode a
  // line starting ".." loses its first character. Returns the number of lines captured.
  int CaptureLines(std::vector<std::string>* lines, std::string_view delimiter = ".",
                   bool dot_stuffed = true);
  // The same into a byte stream, each line followed by CR LF; a null stream only counts.
  int CaptureLines(std::ostream* stream, std::string_view delimiter = ".", bool dot_stuffed = true);
  // Reads and discards lines of any length up to and including one that equals the delimiter,
  // holding no more than one receive of input at a time. Returns the number of lines skipped.
  int SkipLinesThrough(std::string_view delimiter = ".");

 protected:
  SocketStack& stack() const { return layer_.stack(); }
  TMfRFCReply& MutableLastCmdResult() { return last_reply_; }

  // Prepares a holder for a new connection: creates one when absent, resets its handle and
  // empties all buffers.
  TMfIOHandlerSocket& PrepareHolder();

  // Raises EMfProtocolReplyError for the last reply unless its code is allowed.
  int CheckReply(const AllowedReplies& allowed);

 private:
  template <typename Sink>
  int CaptureInto(Sink&& sink, std::string_view delimiter, bool dot_stuffed);
  // ReadLine's algorithm; *complete tells whether the line ended at its terminator (false for
  // the first part of a split line).
  std::string ReadLineImpl(std::string_view terminator, int timeout, int max_length,
                           TMfMaxLineAction action, bool* complete);
  std::size_t Buffered() const { return input_end_ - input_begin_; }
  void Consume(std::size_t count);
  void MakeRoom(std::size_t count);
  void SendAll(const char* data, std::size_t size);
  bool SocketOpen() const { return holder_ != nullptr && holder_->Connected(); }

  SocketLayerLease layer_;
  std::unique_ptr<TMfIOHandlerSocket> holder_;
  bool closed_gracefully_ = false;

  // Input: the unread bytes are input_[input_begin_, input_end_).
  std::vector<char> input_;
  std::size_t input_begin_ = 0;
  std::size_t input_end_ = 0;
  bool last_line_was_dot_ = false;

  std::string output_;
  TMfRFCReply last_reply_;

  int read_timeout_ = 0;
  int max_line_length_ = kDefaultMaxLineLength;
  TMfMaxLineAction max_line_action_ = maException;
  int recv_buffer_size_ = kDefaultRecvBufferSize;
  int send_buffer_size_ = kDefaultSendBufferSize;
  std::chrono::milliseconds silent_server_bound_ = kSilentServerBound;
};

}  // namespace mailferry
