#pragma once

#include <string>
#include <string_view>

namespace provlink {

// Why discovery or construction refused, with a fixed text for each kind.
class Error {
 public:
  enum class Kind { NotFound, Ambiguous, Malformed };

  static constexpr Error not_found() noexcept { return Error(Kind::NotFound, {}); }
  static constexpr Error ambiguous() noexcept { return Error(Kind::Ambiguous, {}); }
  // `detail` must be a constant text: the error refers to it and never owns it.
  static constexpr Error malformed(std::string_view detail) noexcept {
    return Error(Kind::Malformed, detail);
  }

  constexpr Kind kind() const noexcept { return kind_; }

  // The text form, e.g. "malformed Link header: target URI is empty".
  std::string text() const;

  friend constexpr bool operator==(const Error&, const Error&) = default;

 private:
  constexpr Error(Kind kind, std::string_view detail) noexcept : kind_(kind), detail_(detail) {}

  Kind kind_;
  std::string_view detail_;
};

}  // namespace provlink
