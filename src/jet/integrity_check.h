// The check a file must pass before the engine writes to it.
//
// A write trusts what the file says about itself: the free-page map hands out
// pages for reuse, a table's usage maps say where its rows go, the catalogue
// says where tables and their indexes live. Where any of that names a page
// past the end of the file, or a page that is marked free while something
// still uses it, a write would put new data on pages that old data still
// claims, and make a damaged file worse. So before the first write the
// engine checks every page reference a write may follow, and refuses every
// write to a file that fails.
//
// The check reads the free-page map, each table's definition chain, usage
// maps and index roots, and the catalogue's own pages; it never reads rows of
// user tables, so its cost grows with the number of tables and the size of
// the maps' bitmaps, not with the data.
#pragma once

#include <string>
#include <vector>

#include "jet/catalogue.h"
#include "jet/header.h"
#include "jet/page_file.h"

namespace jet {

// What is wrong with the file for writing, described for the user (without
// the "The database file is damaged: " lead), or empty when it is sound.
std::string FindDamageForWriting(PageSource& file, uint64_t file_bytes, const Header& header,
                                 const std::vector<CatalogueEntry>& catalogue);

}  // namespace jet
