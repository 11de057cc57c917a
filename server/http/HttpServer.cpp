#include "server/http/HttpServer.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/IgnoringErrors.h"
#include "common/JsonText.h"
#include "common/Paths.h"
#include "common/Text.h"
#include "server/PathNames.h"
#include "server/http/HealthReport.h"
#include "server/http/HtmlText.h"
#include "server/http/MetricsText.h"
#include "server/http/StatusPage.h"
#include "server/http/UploadedDocument.h"

namespace vd::http {
namespace {

// Threads beyond the conversions a client may wait for: the page, the health check and the
// metrics stay answered while every lane is busy with a sent document.
constexpr std::size_t kSpareThreads = 4;
constexpr std::size_t kLargestForm = 8192;
// How long a form waits for the loop to carry out what it asked before the page is shown
// again; a loop busy longer shows the change on a later refresh.
constexpr std::chrono::seconds kFormWait{5};
constexpr time_t kSocketTimeoutSeconds = 30;
constexpr const char* kJson = "application/json";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kPagePolicy =
    "default-src 'none'; style-src 'unsafe-inline'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'";

std::string randomToken() {
  unsigned char bytes[16];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
    throw std::runtime_error("cannot draw a random value for the page's forms");
  }
  return ToHex(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

void answerJson(httplib::Response& res, int status, const std::string& message) {
  res.status = status;
  std::string json = "{\"status\": " + std::to_string(status) + ", \"error\": ";
  appendJsonString(json, message);
  res.set_content(json + "}\n", kJson);
}

// The header that names the PDF for a browser's download: an ASCII name for every client,
// and the name itself, percent-encoded, for those that read it.
std::string attachmentHeader(const std::string& fileName) {
  std::string plain;
  std::string encoded;
  for (const char c : fileName) {
    const auto byte = static_cast<unsigned char>(c);
    const bool safe = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                      c == '.' || c == '-' || c == '_';
    plain += safe || c == ' ' ? c : '_';
    if (safe) {
      encoded += c;
    } else {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      encoded += '%';
      encoded += kDigits[byte >> 4];
      encoded += kDigits[byte & 0xF];
    }
  }
  return "attachment; filename=\"" + plain + "\"; filename*=UTF-8''" + encoded;
}

// Reads what is left of a body without keeping it: a client sends all of it before it reads
// the answer, and would otherwise meet a closed connection instead. Past `most` the rest is
// left unread.
void discardBody(const httplib::Request& req, const httplib::ContentReader& reader, std::uint64_t most) {
  std::uint64_t seen = 0;
  const auto discard = [&](const char*, std::size_t count) {
    seen += count;
    return seen <= most;
  };
  if (req.is_multipart_form_data()) {
    reader([](const httplib::MultipartFormData&) { return true; }, discard);
  } else {
    reader(discard);
  }
}

// A client's claim on one of the conversions that may be in hand or waiting at once. It is
// held until the conversion has ended, also when the client stopped waiting for it.
class ConversionSlot {
 public:
  ConversionSlot(std::atomic<std::size_t>& taken, std::size_t most) : taken_(taken) {
    granted_ = taken_.fetch_add(1) < most;
  }
  ~ConversionSlot() { taken_.fetch_sub(1); }
  ConversionSlot(const ConversionSlot&) = delete;
  ConversionSlot& operator=(const ConversionSlot&) = delete;
  bool granted() const { return granted_; }

 private:
  std::atomic<std::size_t>& taken_;
  bool granted_ = false;
};

// What went wrong while a document was received, as its answer.
struct Refusal {
  int status = 0;
  std::string message;
  explicit operator bool() const { return status != 0; }
};

}  // namespace

class HttpServer::Routes {
 public:
  Routes(const HttpSettings& settings, DaemonMailbox& mailbox)
      : settings_(settings), mailbox_(mailbox), formToken_(randomToken()) {
    // Not SO_REUSEPORT, the library's default: a second daemon must fail to bind the port
    // instead of sharing its connections.
    server_.set_socket_options([](int socket) {
      const int yes = 1;
      setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // One request per connection: a body refused unread can never be taken for the next
    // request.
    server_.set_keep_alive_max_count(1);
    server_.set_read_timeout(kSocketTimeoutSeconds);
    server_.set_write_timeout(kSocketTimeoutSeconds);
    server_.set_payload_max_length(settings_.maxUploadBytes);
    const std::size_t threads = maxConversions() + kSpareThreads;
    server_.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    server_.set_default_headers({{"Cache-Control", "no-store"},
                                 {"X-Content-Type-Options", "nosniff"},
                                 {"Referrer-Policy", "no-referrer"},
                                 {"X-Frame-Options", "DENY"}});

    server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      sweepAbandoned();
      // Posts check their access themselves, once they can read their bodies away.
      if (req.method == "POST" || allowed(req, res)) return httplib::Server::HandlerResponse::Unhandled;
      return httplib::Server::HandlerResponse::Handled;
    });
    server_.set_expect_100_continue_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return beforeBody(req, res); });
    // The library's own refusals (an unknown path, a request it cannot read) get a body
    // that says what happened.
    server_.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response& res) {
          if (!res.body.empty() || res.status == 401) return httplib::Server::HandlerResponse::Unhandled;
          answerJson(res, res.status, res.status == 404 ? "There is nothing here." : "The request was refused.");
          return httplib::Server::HandlerResponse::Handled;
        }));

    server_.Get("/", [this](const httplib::Request&, httplib::Response& res) { page(res, 200, {}); });
    server_.Get("/health", [this](const httplib::Request&, httplib::Response& res) { health(res); });
    server_.Get("/metrics", [this](const httplib::Request&, httplib::Response& res) { metrics(res); });
    server_.Post("/convert", [this](const httplib::Request& req, httplib::Response& res,
                                    const httplib::ContentReader& reader) { convert(req, res, reader); });
    server_.Post("/retry", [this](const httplib::Request& req, httplib::Response& res,
                                  const httplib::ContentReader& reader) { form(req, res, reader, FormAction::Retry); });
    server_.Post("/pause", [this](const httplib::Request& req, httplib::Response& res,
                                  const httplib::ContentReader& reader) { form(req, res, reader, FormAction::Pause); });
    server_.Post("/resume", [this](const httplib::Request& req, httplib::Response& res,
                                   const httplib::ContentReader& reader) { form(req, res, reader, FormAction::Resume); });
  }

  ~Routes() { stop(); }

  int bind() {
    const int port = settings_.address.port == 0 ? server_.bind_to_any_port(settings_.address.host)
                                                 : (server_.bind_to_port(settings_.address.host, settings_.address.port)
                                                        ? settings_.address.port
                                                        : -1);
    if (port < 0) {
      throw std::runtime_error("cannot listen on " + settings_.address.host + " port " +
                               std::to_string(settings_.address.port) + ": " + std::strerror(errno));
    }
    return port;
  }

  void serve() {
    listener_ = std::thread([this] {
      // A client that goes away mid-answer must not end the daemon with SIGPIPE: blocked
      // in this thread and the library's threads it starts, writes fail with EPIPE instead.
      sigset_t pipe;
      sigemptyset(&pipe);
      sigaddset(&pipe, SIGPIPE);
      pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
      server_.listen_after_bind();
    });
  }

  void stop() {
    if (!listener_.joinable()) return;
    // Clients still waiting for a conversion are answered now, so the threads can end.
    {
      const std::lock_guard lock(mutex_);
      for (const auto& waiting : waiting_) {
        if (const auto request = waiting.lock()) request->finish(DaemonRequest::End::Refused, kDaemonStopping);
      }
    }
    server_.stop();
    listener_.join();
    const std::lock_guard lock(mutex_);
    for (const Abandoned& abandoned : abandoned_) abandoned.request->abandon();
    abandoned_.clear();
  }

 private:
  enum class FormAction { Retry, Pause, Resume };

  // A conversion its client stopped waiting for: its folder stays until the loop has done
  // with it.
  struct Abandoned {
    std::shared_ptr<DaemonRequest> request;
    std::shared_ptr<UploadedDocument> document;
    std::shared_ptr<ConversionSlot> slot;
  };

  std::size_t maxConversions() const {
    return std::max<std::size_t>(settings_.lanes, 1) * (1 + settings_.waitingPerLane);
  }

  bool allowed(const httplib::Request& req, httplib::Response& res) const {
    if (settings_.token) {
      if (CarriesToken(req.get_header_value("Authorization"), *settings_.token)) return true;
      // A browser asks its user for the token (as the password) on this challenge.
      res.set_header("WWW-Authenticate", "Basic realm=\"Vellumdock\", charset=\"UTF-8\"");
      answerJson(res, 401, "This server needs its token: send \"Authorization: Bearer TOKEN\".");
      return false;
    }
    if (NamesLoopback(req.get_header_value("Host"))) return true;
    answerJson(res, 403,
               "Without a token this server answers only requests addressed to localhost, 127.0.0.1 or [::1].");
    return false;
  }

  // The answer to "Expect: 100-continue", before the client sends its body: 100 to go on,
  // or the refusal the body would have met anyway.
  int beforeBody(const httplib::Request& req, httplib::Response& res) {
    if (!allowed(req, res)) return res.status;
    if (req.path == "/convert") {
      if (req.get_header_value<std::uint64_t>("Content-Length") > settings_.maxUploadBytes) {
        answerJson(res, 413, tooLargeMessage());
        return 413;
      }
      if (const Refusal refusal = refusalBeforeBody(req)) {
        answerJson(res, refusal.status, refusal.message);
        return refusal.status;
      }
    }
    return 100;
  }

  std::string tooLargeMessage() const {
    return "The document is larger than " + std::to_string(settings_.maxUploadBytes) + " bytes, the bound this server "
           "takes (--max-upload-mb).";
  }

  // What refuses a conversion before its body is read.
  Refusal refusalBeforeBody(const httplib::Request& req) const {
    if (mailbox_.status()->stopping) return {503, kDaemonStopping};
    if (!req.is_multipart_form_data()) {
      const std::string name = SentFileName(req.get_param_value("name"));
      if (const auto problem = FileNameProblem(name)) return {400, *problem};
      if (const auto unsupported = UnsupportedKind(GetExtension(name))) return {415, *unsupported};
    }
    if (conversionsTaken_.load() >= maxConversions()) return busy();
    return {};
  }

  Refusal busy() const {
    return {503, "The server is busy: " + std::to_string(maxConversions()) +
                     " conversions are in hand or waiting. Try again later."};
  }

  void convert(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader) {
    if (!allowed(req, res)) return discardBody(req, reader, settings_.maxUploadBytes);
    if (const Refusal refusal = refusalBeforeBody(req)) {
      discardBody(req, reader, settings_.maxUploadBytes);
      return answerRefusal(res, refusal);
    }
    auto slot = std::make_shared<ConversionSlot>(conversionsTaken_, maxConversions());
    if (!slot->granted()) {
      discardBody(req, reader, settings_.maxUploadBytes);
      return answerRefusal(res, busy());
    }
    auto document = std::make_shared<UploadedDocument>();
    if (!document->ok()) {
      discardBody(req, reader, settings_.maxUploadBytes);
      return answerJson(res, 500, "The server cannot make a private folder for the document.");
    }
    std::string name;
    if (const Refusal refusal = receive(req, reader, *document, name)) {
      // The library itself answers a declared length past the bound.
      if (res.status == 413 && refusal.status == 400) return answerJson(res, 413, tooLargeMessage());
      return answerRefusal(res, refusal);
    }

    auto request = std::make_shared<DaemonRequest>(
        ConvertDocument{document->inputPath(), document->outputPath(), document->name(), settings_.security});
    {
      const std::lock_guard lock(mutex_);
      std::erase_if(waiting_, [](const auto& waiting) { return waiting.expired(); });
      waiting_.push_back(request);
    }
    mailbox_.send(request);
    if (!request->waitFinished(std::chrono::duration_cast<std::chrono::milliseconds>(settings_.jobBound))) {
      request->abandon();
      const std::lock_guard lock(mutex_);
      abandoned_.push_back({request, document, slot});
      return answerJson(res, 504, "The conversion did not end within " + std::to_string(settings_.jobBound.count()) +
                                      " s, the job bound.");
    }
    switch (*request->end()) {
      case DaemonRequest::End::Refused:
        return answerJson(res, 503, request->reason());
      case DaemonRequest::End::Failed:
        return answerJson(res, 422, request->reason());
      case DaemonRequest::End::Done:
        return sendPdf(res, document);
    }
  }

  // Writes the body into the document's folder; the refusal when it cannot be taken.
  Refusal receive(const httplib::Request& req, const httplib::ContentReader& reader, UploadedDocument& document,
                  std::string& name) {
    Refusal refusal;
    std::uint64_t received = 0;
    const auto counted = [&](std::size_t count) {
      received += count;
      if (received <= settings_.maxUploadBytes) return true;
      refusal = {413, tooLargeMessage()};
      return false;
    };
    const auto store = [&](const char* bytes, std::size_t count) {
      if (!counted(count)) return false;
      if (document.write(bytes, count)) return true;
      refusal = {500, "The server could not store the document (its disk may be full)."};
      return false;
    };
    const auto start = [&](const std::string& sentName) {
      name = SentFileName(sentName);
      if (const auto problem = FileNameProblem(name)) {
        refusal = {400, *problem};
      } else if (const auto unsupported = UnsupportedKind(GetExtension(name))) {
        refusal = {415, *unsupported};
      } else if (!document.create(name)) {
        refusal = {500, "The server could not store the document."};
      }
      return !refusal;
    };

    bool read = false;
    if (req.is_multipart_form_data()) {
      int files = 0;
      bool inFile = false;
      read = reader(
          [&](const httplib::MultipartFormData& part) {
            inFile = !part.filename.empty();
            if (!inFile) return true;
            if (++files > 1) {
              refusal = {400, "Send one document per request."};
              return false;
            }
            return start(part.filename);
          },
          [&](const char* bytes, std::size_t count) { return inFile ? store(bytes, count) : counted(count); });
      if (read && files == 0) return {400, "The form holds no file field."};
    } else {
      read = start(req.get_param_value("name")) && reader(store);
    }
    if (refusal) return refusal;
    if (!read) return {400, "The request's body could not be read whole."};
    if (!document.close()) return {500, "The server could not store the document (its disk may be full)."};
    if (document.size() == 0) return {400, "The document is empty."};
    return {};
  }

  void sendPdf(httplib::Response& res, const std::shared_ptr<UploadedDocument>& document) {
    const std::string path = document->outputPath();
    struct stat status {};
    if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0) {
      return answerJson(res, 422, "No PDF was made.");
    }
    auto file = std::make_shared<std::ifstream>(path, std::ios::binary);
    res.status = 200;
    res.set_header("Content-Disposition", attachmentHeader(fileNameOf(path)));
    // The document's folder stays until the last byte is sent.
    res.set_content_provider(
        static_cast<std::size_t>(status.st_size), "application/pdf",
        [file, document](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
          char buffer[65536];
          file->seekg(static_cast<std::streamoff>(offset));
          file->read(buffer, static_cast<std::streamsize>(std::min(length, sizeof buffer)));
          const std::streamsize got = file->gcount();
          return got > 0 && sink.write(buffer, static_cast<std::size_t>(got));
        });
  }

  void answerRefusal(httplib::Response& res, const Refusal& refusal) {
    if (refusal.status == 503) res.set_header("Retry-After", "5");
    answerJson(res, refusal.status, refusal.message);
  }

  void sweepAbandoned() {
    const std::lock_guard lock(mutex_);
    std::erase_if(abandoned_, [](const Abandoned& abandoned) { return abandoned.request->end().has_value(); });
  }

  void form(const httplib::Request& req, httplib::Response& res, const httplib::ContentReader& reader,
            FormAction action) {
    if (!allowed(req, res)) return discardBody(req, reader, kLargestForm);
    std::string body;
    const bool read = !req.is_multipart_form_data() && reader([&](const char* bytes, std::size_t count) {
      body.append(bytes, count);
      return body.size() <= kLargestForm;
    });
    httplib::Params fields;
    if (read) httplib::detail::parse_query_text(body, fields);
    const auto field = [&](const char* key) {
      const auto found = fields.find(key);
      return found == fields.end() ? std::string() : found->second;
    };
    if (!read || field("form") != formToken_) {
      // The page it came from belongs to an earlier run, or to another site.
      return page(res, 403, "That form did not come from this page; it was not carried out. Try again here.");
    }
    const std::shared_ptr<const DaemonStatus> status = mailbox_.status();
    const std::string folderText = field("folder");
    std::size_t folder = status->folders.size();
    if (!folderText.empty() && folderText.size() < 6 &&
        folderText.find_first_not_of("0123456789") == std::string::npos) {
      folder = std::stoul(folderText);
    }
    std::string fileName;
    if (folder >= status->folders.size() || (action == FormAction::Retry && !FromHex(field("file"), fileName))) {
      return page(res, 400, "That form names no folder or file of this server.");
    }
    DaemonRequest::What what = PauseFolder{folder, action == FormAction::Pause};
    if (action == FormAction::Retry) what = ReturnFailed{folder, fileName};
    auto request = std::make_shared<DaemonRequest>(std::move(what));
    mailbox_.send(request);
    if (request->waitFinished(kFormWait) && request->end() != DaemonRequest::End::Done) {
      return page(res, 409, request->reason());
    }
    res.status = 303;
    res.set_header("Location", "/#folder-" + std::to_string(folder));
  }

  void page(httplib::Response& res, int code, const std::string& notice) {
    const std::shared_ptr<const DaemonStatus> status = mailbox_.status();
    PageContext context;
    context.now = std::chrono::system_clock::now();
    context.health = JudgeHealth(*status, std::chrono::steady_clock::now());
    context.formToken = formToken_;
    context.notice = notice;
    for (const FolderStatus& folder : status->folders) {
      FailedFiles failed;
      ignoringErrors([&] { failed = ListFailedFiles(folder.inputDir, kFailedFilesShown); });
      context.failed.push_back(std::move(failed));
    }
    res.status = code;
    res.set_header("Content-Security-Policy", kPagePolicy);
    res.set_content(StatusPage(*status, context), kHtml);
  }

  void health(httplib::Response& res) {
    const std::shared_ptr<const DaemonStatus> status = mailbox_.status();
    const SteadyTime now = std::chrono::steady_clock::now();
    const HealthVerdict verdict = JudgeHealth(*status, now);
    res.status = verdict.healthy ? 200 : 503;
    res.set_content(HealthJson(*status, verdict, now), kJson);
  }

  void metrics(httplib::Response& res) {
    const std::shared_ptr<const DaemonStatus> status = mailbox_.status();
    std::vector<std::size_t> failedKept;
    for (const FolderStatus& folder : status->folders) {
      std::size_t count = 0;
      ignoringErrors([&] { count = ListFailedFiles(folder.inputDir, 0).count; });
      failedKept.push_back(count);
    }
    res.set_content(MetricsText(*status, failedKept), kMetricsContentType);
  }

  const HttpSettings& settings_;
  DaemonMailbox& mailbox_;
  const std::string formToken_;
  httplib::Server server_;
  std::thread listener_;
  std::atomic<std::size_t> conversionsTaken_{0};
  std::mutex mutex_;
  std::vector<std::weak_ptr<DaemonRequest>> waiting_;
  std::vector<Abandoned> abandoned_;
};

HttpServer::HttpServer(HttpSettings settings, DaemonMailbox& mailbox)
    : settings_(std::move(settings)), routes_(std::make_unique<Routes>(settings_, mailbox)) {}

HttpServer::~HttpServer() = default;

void HttpServer::start() {
  // What an earlier run that was killed left of its uploads.
  RemoveLeftoversOfEndedProcesses(temporaryBase(), kUploadPrefix);
  port_ = routes_->bind();
  routes_->serve();
}

std::string HttpServer::url() const {
  const std::string& host = settings_.address.host;
  return "http://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host) + ":" + std::to_string(port_) +
         "/";
}

void HttpServer::stop() { routes_->stop(); }

}  // namespace vd::http
