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
// one VERSION:2.1, first in its list; the change stays in
// the caller's cards.
//
// Every file is written beside its target under a temporary name and
// renamed over it only once complete, closed and made durable (see
// staged_files.h): whatever fails, a target holds either its old content or
// the whole new one, and no temporary file is left.
//
// Statuses:
//   S_OK        every card was written (also for an empty collection)
//   0x80070057  the file-name argument has another type; SaveAsXML: the
//               stylesheet name holds a character no XML document can hold
//               (a control character other than TAB, LF, CR; U+FFFE, U+FFFF;
//               half a surrogate pair); nothing is touched
//   0x8007006E  a file could not be created or opened, or there are more
//               cards than names
//   0x80070070  a file could not be written, flushed, closed or made durable
//               (a full disk); that file keeps its old content. Writing goes
//               on with the next file (in the empty form a file given up gets
//               none of its later cards), and the status is returned at the
//               end unless a later failure stopped the writing.
//   0x8007001D  a finished file could not be renamed into place; SaveAsXML:
//               a write to an XML file failed
//   0x8000FFFF  any other unexpected failure (SaveAsXML: also a failed write
//               of the header or the end tag of a per-card document)
//   otherwise   the status of the object-model call that failed
// A failure other than those of one file stops the writing: files finished
// before it are in place, every other target keeps its old content.
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

}  // namespace tarvovcard::writer
