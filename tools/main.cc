#include <cstring>
#include <iostream>

// The command-line program; for now it reports the library version and what
// is not available yet.
int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::cout << "zsepa " << ZSEPA_VERSION << "\n";
    return 0;
  }
  std::cout << "ZALT_FILESEPA " << ZSEPA_VERSION << "\n"
            << "Not available yet: database access, file writers, status "
               "reader, job files.\n";
  return 0;
}
