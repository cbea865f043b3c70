#pragma once
// A library file in a test's own folder with a few songs, for the request tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "library/library_index.h"
#include "support/test_files.h"

namespace lyrvox::testing {

struct SongLibrary {
    TempFolder temp;
    std::string db = temp.path("library.db");
    std::unique_ptr<LibraryIndex> index = std::make_unique<LibraryIndex>(db);
    std::vector<std::int64_t> ids;  // the songs' library ids, in the order given

    explicit SongLibrary(const std::vector<std::pair<std::string, std::string>>& songs = {
                             {"ABBA", "Waterloo"},
                             {"Queen", "Bohemian Rhapsody"},
                             {"Evil", "<script>alert(1)</script>"}}) {
        const std::int64_t folder = index->addFolder(temp.path(), NameOrder::ArtistTitle);
        EXPECT_NE(folder, 0) << index->error();
        std::vector<LibrarySong> batch;
        for (const auto& [artist, title] : songs) {
            LibrarySong s;
            s.path = temp.path(artist + " - " + std::to_string(batch.size()) + ".cdg");
            s.artist = artist, s.title = title, s.durationMs = 180000;
            batch.push_back(s);
        }
        EXPECT_TRUE(index->writeBatch(folder, batch)) << index->error();
        for (const LibrarySong& s : index->search("", 100).songs) ids.push_back(s.id);
        std::sort(ids.begin(), ids.end());
    }

    // The output of the sqlite3 shell for `sql` on the library file.
    std::string sqlite(const std::string& sql) const {
        const std::string out = temp.path("out.txt");
        const std::string command = "sqlite3 " + db + " \"" + sql + "\" > " + out;
        EXPECT_EQ(std::system(command.c_str()), 0);
        return readFile(out);
    }
};

}  // namespace lyrvox::testing
