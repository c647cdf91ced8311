// How much of a patient's identity is kept from a message. The ID names the patient's folder and the
// names go into the census, the registry, the grid and the patient's files, so each is cut to what those
// hold: a message is never refused for a long field, and a long field never costs more than its cut.
// A long ID keeps a digest of all of it, so that IDs which differ only beyond the cut stay apart.
#pragma once

#include "platform/Text.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace halcyra {

// Characters of a first, last or display name.
inline constexpr std::size_t kMaxPatientNameLength = 255;
// Bytes of the ID on the host, where it is one folder name.
inline constexpr std::size_t kMaxPatientIdHostBytes = kMaxFileNameBytes;

// The first kMaxPatientNameLength characters.
std::string_view LimitPatientName(std::string_view name);
// The same in place; true when the name was cut.
bool CutPatientName(std::string& name);

// What a cut ID ends in: '~' and eight lower-case hex digits of the 32-bit FNV-1a hash of the whole ID.
// '~' survives the cleaning of IDs, so a cut ID read back (from the census) is taken as it is.
inline constexpr char kPatientIdDigestMark = '~';
inline constexpr std::size_t kPatientIdDigestLength = 1 + 8;

// An ID whose host form fits in one folder name is left as it is. A longer one becomes its longest
// beginning that fits with room for the digest, then the digest, so two IDs alike in the part that
// fits still name two folders; the result fits, and cutting it again leaves it unchanged. True when
// the ID was cut.
bool CutPatientID(std::string& id);

}  // namespace halcyra
