// Version texts compared with each other and with a driver's installed text.
//
// Input: two length bytes, then the texts a and b of those lengths, the rest
// is c. Properties: CompareVersionNames is an order (1 one way iff 2 the other,
// 0 both ways, and transitive over a, b, c); CompareWithInstalled is -1, 0 or
// +1 with the sign of a byte-wise comparison of FormatVersion(name) with the
// installed text, so 0 exactly when the two are the same text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "camera/next_dlg.h"
#include "fuzz/fuzz_check.h"
#include "updatedata/version_text.h"

namespace {

using kx::CompareVersionNames;

// "a is not older than b".
bool NotOlder(const std::string& a, const std::string& b) { return CompareVersionNames(a, b) != 2; }

void CheckPair(const std::string& a, const std::string& b) {
  const int ab = CompareVersionNames(a, b);
  const int ba = CompareVersionNames(b, a);
  KX_FUZZ_REQUIRE(ab == 0 || ab == 1 || ab == 2);
  KX_FUZZ_REQUIRE((ab == 1) == (ba == 2));
  KX_FUZZ_REQUIRE((ab == 2) == (ba == 1));
  KX_FUZZ_REQUIRE((ab == 0) == (ba == 0));
}

// The installed text as the driver's C buffer holds it: up to the first NUL.
void CheckInstalled(const std::string& name, const std::string& bytes) {
  const std::string installed = bytes.substr(0, bytes.find('\0'));
  const std::string formatted = kx::FormatVersion(name);
  const int order = kx::CNextDlg::CompareWithInstalled(name, installed);
  KX_FUZZ_REQUIRE(order == -1 || order == 0 || order == 1);
  const int bytewise = formatted.compare(installed);  // char_traits<char> orders as unsigned
  KX_FUZZ_REQUIRE(order == (bytewise < 0 ? -1 : bytewise > 0 ? 1 : 0));
  KX_FUZZ_REQUIRE((order == 0) == (formatted == installed));
  KX_FUZZ_REQUIRE(kx::CNextDlg::CompareWithInstalled(name, formatted) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const char* text = reinterpret_cast<const char*>(data) + 2;
  std::size_t rest = size - 2;
  const std::size_t lengthA = std::min<std::size_t>(data[0], rest);
  const std::string a(text, lengthA);
  text += lengthA;
  rest -= lengthA;
  const std::size_t lengthB = std::min<std::size_t>(data[1], rest);
  const std::string b(text, lengthB);
  const std::string c(text + lengthB, rest - lengthB);

  CheckPair(a, b);
  CheckPair(b, c);
  CheckPair(a, c);
  KX_FUZZ_REQUIRE(CompareVersionNames(a, a) == 0);
  if (NotOlder(a, b) && NotOlder(b, c)) KX_FUZZ_REQUIRE(NotOlder(a, c));
  if (NotOlder(c, b) && NotOlder(b, a)) KX_FUZZ_REQUIRE(NotOlder(c, a));

  CheckInstalled(a, b);
  CheckInstalled(b, c);
  CheckInstalled(c, a);
  return 0;
}
