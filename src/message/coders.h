// Content transfer coders: base64 and quoted-printable (both ways) for MIME bodies, and the
// decoders of uuencoded and xxencoded data lines. Stateless free functions over 8-bit strings.
#pragma once

#include <string>
#include <string_view>

namespace mailferry {

// One base64 line to bytes. Blanks, tabs, CR and LF are skipped; what is left must be a multiple
// of 4 characters, else EMfException "Uneven size in DecodeToStream.". Every group of four
// decodes on its own, so padding in the middle shortens only its own group. Characters outside
// the alphabet count as value 0.
std::string Base64Decode(std::string_view text);

// A block of bytes as one base64 string of 4 * ceil(n / 3) characters, without line breaks.
std::string Base64Encode(std::string_view bytes);

// One quoted-printable line including its line end to bytes. Never fails: stray "=" and
// characters that are not hex digits pass through as text.
std::string QPDecode(std::string_view text);

// A block of bytes as quoted-printable text with soft line breaks ("=" CR LF), so that no
// encoded line is longer than 75 characters including its "=".
std::string QPEncode(std::string_view bytes);

// One uuencoded or xxencoded data line (count character first) to exactly the counted number of
// bytes. Missing characters count as value 0, extra ones are ignored; never fails.
std::string UUDecode(std::string_view line);
std::string XXDecode(std::string_view line);

}  // namespace mailferry
