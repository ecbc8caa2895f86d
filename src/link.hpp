#pragma once

// The core: reading and writing the Link header values that advertise a C2PA
// Manifest Store. Plain text in, values or an Error out; no interpreter here.

#include <concepts>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "error.hpp"
#include "result.hpp"
#include "text.hpp"

namespace provlink {

// One advertised manifest link. Its texts are views of the header value it
// was read from, which must outlive it; only a uri whose "#jumbf=" prefix had
// to be folded to lower case is a string of its own.
class ManifestLink {
 public:
  ManifestLink(std::string_view uri, std::optional<std::string_view> jumbf) : uri_(uri), jumbf_(jumbf) {}
  ManifestLink(std::string folded_uri, std::string_view jumbf) : jumbf_(jumbf), folded_uri_(std::move(folded_uri)) {}

  // Never empty.
  std::string_view uri() const noexcept { return folded_uri_ ? std::string_view(*folded_uri_) : uri_; }
  // The JUMBF reference from a "#jumbf=" fragment; never empty.
  std::optional<std::string_view> jumbf() const noexcept { return jumbf_; }
  // Whether uri() was rewritten, so that it is no view of the header value.
  bool uri_is_folded() const noexcept { return folded_uri_.has_value(); }

  friend bool operator==(const ManifestLink& a, const ManifestLink& b) noexcept {
    return a.uri() == b.uri() && a.jumbf() == b.jumbf();
  }

 private:
  std::string_view uri_;
  std::optional<std::string_view> jumbf_;
  std::optional<std::string> folded_uri_;
};

// What receives links as they are read: a callable taking a ManifestLink,
// returning false to stop the reading. A reference to it, so it must outlive
// the call it is passed to.
class LinkSink {
 public:
  // Never wraps another LinkSink, which is copied instead: a sink of a sink
  // would call through it, and dangle once it is gone. (clang-tidy's
  // forwarding-reference check knows enable_if, not a requires clause.)
  template <class F>
    requires(!std::same_as<std::remove_cvref_t<F>, LinkSink> && std::is_invocable_r_v<bool, F&, const ManifestLink&>)
  LinkSink(F&& f) noexcept  // NOLINT(google-explicit-constructor, bugprone-forwarding-reference-overload)
      // The callable's own constness comes back with its type in call_.
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),  // NOLINT(cppcoreguidelines-pro-type-const-cast)
        call_([](void* object, const ManifestLink& link) {
          return (*static_cast<std::remove_reference_t<F>*>(object))(link);
        }) {}

  bool operator()(const ManifestLink& link) const { return call_(object_, link); }

 private:
  void* object_;
  bool (*call_)(void*, const ManifestLink&);
};

// Hands every "c2pa-manifest" link of one Link header value to `found`, in
// order of appearance, until `found` returns false; false when it did. Text
// that cannot be read as such a link is passed over.
bool read_manifest_links(std::string_view value, LinkSink found);

// Every "c2pa-manifest" link across the given Link header values (a range of
// text that converts to std::string_view, which must outlive the links), in
// order of appearance. No state carries from one value to the next.
template <class Values>
std::vector<ManifestLink> locate_all(const Values& values) {
  std::vector<ManifestLink> links;
  for (const std::string_view value : values) {
    read_manifest_links(value, [&links](const ManifestLink& link) {
      links.push_back(link);
      return true;
    });
  }
  return links;
}

// The choice of the one advertised link, made while header values are read:
// runs of one link collapse, and a link that differs from the first leaves
// two that compete, which no later value can undo.
class ManifestChoice {
 public:
  ManifestChoice() noexcept {}  // NOLINT(modernize-use-equals-default): `= default` lets GCC clear the whole object
  // Reads the links of the header values in order, until links compete.
  template <class Values>
  void read(const Values& values) {
    for (const std::string_view value : values) {
      if (!read_value(value)) return;
    }
  }
  // NotFound when no link was read, Ambiguous when links compete, else none.
  std::optional<Error> error() const noexcept;
  // The one link, when there is no error.
  const ManifestLink& link() const noexcept { return *chosen_; }

 private:
  // Reads the links of one header value; false once links compete.
  bool read_value(std::string_view value);

  std::optional<ManifestLink> chosen_;
  bool ambiguous_ = false;
};

// The single advertised manifest link: NotFound when there is none, Ambiguous
// when different links compete (repeats of one link collapse when adjacent).
template <class Values>
Result<ManifestLink, Error> extract(const Values& values) {
  ManifestChoice choice;
  choice.read(values);
  if (const auto error = choice.error()) return *error;
  return choice.link();
}

// Where a written text goes: in place when it fits, so that a short text
// costs no allocation, else in storage of its own. The text lives as long as
// the buffer.
class OutputBuffer {
 public:
  OutputBuffer() noexcept {}  // NOLINT(modernize-use-equals-default): the inline bytes stay uninitialised
  OutputBuffer(const OutputBuffer&) = delete;
  OutputBuffer& operator=(const OutputBuffer&) = delete;

  // Room for `size` bytes, replacing what was there.
  char* reserve(std::size_t size);

 private:
  static constexpr std::size_t kInline = 256;
  char inline_[kInline];
  std::unique_ptr<char[]> heap_;
};

// `uri` with every byte that may not stand literally in a URI reference
// percent-encoded; "%" is kept, so encoding is idempotent.
std::string_view encode_target(std::string_view uri, OutputBuffer& out);

// A Link header value advertising `uri`, encoded as by encode_target.
Result<std::string_view, Error> format(std::string_view uri, OutputBuffer& out);

// As format, but refusing a target that would need encoding.
Result<std::string_view, Error> format_strict(std::string_view uri, OutputBuffer& out);

}  // namespace provlink
