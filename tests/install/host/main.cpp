// Opens a database through the installed component and prints its key, proving headers and libraries fit.
#include <cstdio>

#include "data/modpub_db.h"
#include "jet/writer.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string path = argv[1];
    if (!jet::createDatabase(path).ok()) return 3;
    try {
        auto db = modPub_DB::OpenDB(QString::fromStdString(path));
        std::printf("%d tables\n", db->TableDefCount());
        return db->TableDefCount() > 0 ? 0 : 4;
    } catch (const kx::DbError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
