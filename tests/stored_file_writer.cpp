// Saves a text the way the program does, for tests that run it as another user:
//   stored_file_writer PATH TEXT
// exits 0 when the file was read (or found missing) and then saved, 1 otherwise.
#include "storage/StoredFile.h"

#include <QString>

int main(int argc, char* argv[]) {
    if (argc != 3)
        return 2;
    StoredFile file(QString::fromLocal8Bit(argv[1]));
    file.read();
    return file.write(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
