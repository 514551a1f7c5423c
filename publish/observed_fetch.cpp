#include "publish/observed_fetch.h"

#include <memory>
#include <span>

#include "update/download.h"

namespace kestrune::publish {

namespace {

// Passes every call on to the platform's response, noting what it answers.
class ObservedResponse final : public InternetResponse {
 public:
  ObservedResponse(std::unique_ptr<InternetResponse> inner, Transfer& met)
      : inner_(std::move(inner)), met_(met) {
    met_.opened = true;
    met_.status = inner_->StatusCode();
    met_.announced = inner_->ContentLength();
    met_.redirectedTo = inner_->RedirectedTo();
  }
  int StatusCode() const override { return inner_->StatusCode(); }
  std::optional<std::uint64_t> ContentLength() const override { return inner_->ContentLength(); }
  ReadResult Read(std::span<std::byte> buffer) override {
    const ReadResult read = inner_->Read(buffer);
    if (!read.ok) {
      met_.broken = true;
    } else if (read.bytes == 0) {
      met_.ended = true;
    } else {
      met_.bytes += read.bytes;
    }
    return read;
  }
  std::string RedirectedTo() const override { return inner_->RedirectedTo(); }

 private:
  std::unique_ptr<InternetResponse> inner_;
  Transfer& met_;
};

class ObservedSession final : public InternetSession {
 public:
  ObservedSession(std::unique_ptr<InternetSession> inner, Transfer& met)
      : inner_(std::move(inner)), met_(met) {}
  std::unique_ptr<InternetResponse> OpenUrl(std::string_view url) override {
    std::unique_ptr<InternetResponse> response = inner_->OpenUrl(url);
    if (!response) return nullptr;
    return std::make_unique<ObservedResponse>(std::move(response), met_);
  }

 private:
  std::unique_ptr<InternetSession> inner_;
  Transfer& met_;
};

class ObservedInternet final : public Internet {
 public:
  ObservedInternet(Internet& inner, Transfer& met) : inner_(inner), met_(met) {}
  std::unique_ptr<InternetSession> OpenSession(std::string_view agent) override {
    std::unique_ptr<InternetSession> session = inner_.OpenSession(agent);
    if (!session) return nullptr;
    return std::make_unique<ObservedSession>(std::move(session), met_);
  }
  std::uint64_t MonotonicMilliseconds() override { return inner_.MonotonicMilliseconds(); }

 private:
  Internet& inner_;
  Transfer& met_;
};

}  // namespace

SmallFetch FetchSmallFileObserved(Internet& internet, const std::string& agent,
                                  const std::string& url, std::size_t maxBytes) {
  SmallFetch fetched;
  fetched.met.limit = maxBytes;
  ObservedInternet observed(internet, fetched.met);
  fetched.body = FetchSmallFile(observed, agent, url, maxBytes);
  return fetched;
}

bool PassedLimit(const Transfer& transfer) {
  if (!transfer.limit) return false;
  return (transfer.announced && *transfer.announced > *transfer.limit) ||
         transfer.bytes > *transfer.limit;
}

}  // namespace kestrune::publish
