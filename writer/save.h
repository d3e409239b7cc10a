// Save and SaveAsXML of VCardColl: write the collection's cards to files.
//
// The file-name argument decides where each card goes:
//   VT_EMPTY           every card to the file it came from (its FolderPath
//                      joined with its Filename). Cards bound for the same
//                      file all go into it, in collection order: one vCard
//                      file, or one XML document, holding all of them.
//   VT_BSTR            all cards into the one named file (one XML document).
//   VT_ARRAY|VT_BSTR   card i into name i; a card without a name is an error.
// Anything else is refused with E_INVALIDARG before anything is touched.
//
// Before a top-level card is written its VERSION properties are replaced by
// one VERSION:2.1, first in its list (NormalizeVersion); the change stays in
// the caller's cards.
//
// Statuses:
//   S_OK        every card was written (also for an empty collection)
//   0x80070057  the file-name argument has another type
//   0x8007006E  a file could not be created or opened, or there are more
//               cards than names
//   0x80070070  a file could not be flushed or closed (a full disk); that
//               file has been deleted. Writing goes on with the next card,
//               and the status is returned at the end unless a later failure
//               stopped the writing. (SaveAsXML: an XML document whose
//               writing had already failed is not deleted; it keeps what was
//               written, and the write failure is the status.)
//   0x8007001D  SaveAsXML: a write to an XML file failed
//   0x8000FFFF  any other unexpected failure (SaveAsXML: also a failed write
//               of the header or the end tag of a per-card document)
//   otherwise   the status of the object-model call that failed
// A failure other than a failed close stops the writing: files written before
// stay as written, the file being written keeps its partial content (an XML
// document is still ended by its closing "</vCardSet>").
//
// File names are handed to the file system in UTF-8. No length limit applies
// to joined paths beyond the file system's own.
#pragma once

#include <cstdio>

#include "tarvovcard/tarvovcard.h"

namespace tarvovcard::writer {

HRESULT SaveCollection(IVCardColl* collection, const VARIANT& filenames);
HRESULT SaveCollectionAsXML(IVCardColl* collection, const VARIANT& xml_filenames,
                            BSTR xsl_filename);

// Removes every VERSION property of `card` and puts one new VERSION property
// with the value "2.1" first in its list (appended when the list is empty).
HRESULT NormalizeVersion(IVCard* card);

// Opens `file_name` for writing in binary mode: created or truncated, or with
// `append` set, created or extended at its end. 0x8007006E when the file
// cannot be opened (an empty or null name included).
HRESULT OpenVCardFile(const char16_t* file_name, std::FILE** stream, bool append = false);

}  // namespace tarvovcard::writer
