// What a status code of the library means, in a few words: the table the
// client prints beside each code ("0x80070002 no such file"), for any program
// that reports the library's statuses to a person.
#pragma once

#include <cstdint>

#include "tarvovcard/platform.h"

namespace tarvovcard {

// A short meaning of `status` ("no such file", "the text had errors"), or
// "unknown status" for a code the library never returns. The text is static:
// nothing to free.
inline const char* StatusMeaning(HRESULT status) noexcept {
  switch (static_cast<std::uint32_t>(status)) {
    case 0x00000000u:
      return "success";
    case 0x00000001u:
      return "done, with nothing to do";
    case 0x80070002u:
      return "no such file";
    case 0x80070005u:
      return "access denied";
    case 0x8007000Du:
      return "the text had errors";
    case 0x8007000Eu:
      return "out of memory";
    case 0x8007001Du:
      return "writing to the file failed";
    case 0x80070057u:
      return "invalid argument";
    case 0x8007006Eu:
      return "the file cannot be opened or created";
    case 0x80070070u:
      return "the disk is full: a file could not be closed and was deleted";
    case 0x8000FFFFu:
      return "unexpected failure";
    case 0x80004001u:
      return "not implemented";
    case 0x80004002u:
      return "interface not supported";
    case 0x80004003u:
      return "invalid pointer";
    case 0x80004005u:
      return "unspecified failure";
    case 0x80040110u:
      return "the class cannot be aggregated";
    case 0x80040154u:
      return "the class is not registered";
    case 0x800401F3u:
      return "no class is registered under that name";
    case 0x800401F8u:
      return "the library file cannot be loaded";
    case 0x800401F9u:
      return "the file is no component library";
    case 0x800703F5u:
      return "the registry file cannot be written";
    case 0x800703F1u:
      return "the registry file is damaged";
    default:
      return "unknown status";
  }
}

}  // namespace tarvovcard
