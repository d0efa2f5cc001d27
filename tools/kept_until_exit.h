#ifndef ZSEPA_TOOLS_KEPT_UNTIL_EXIT_H_
#define ZSEPA_TOOLS_KEPT_UNTIL_EXIT_H_

#include <memory>
#include <utility>
#include <vector>

namespace zsepa::cli {

// The program ends right after its command. What a command built for a
// file (the job's plan, the builder with its blocks and transactions) is
// handed to the process instead of being released object by object, which
// for 100,000 transactions costs a tenth of a second of the whole run; the
// system takes the memory back at exit all at once. The objects stay
// reachable to the end, so leak checkers report nothing. A library host
// never gets this: only the program's commands use it.
template <typename T>
T& KeptUntilExit(std::unique_ptr<T> object) {
  static auto* const kept = new std::vector<std::shared_ptr<void>>();
  T& kept_object = *object;
  kept->push_back(std::shared_ptr<T>(std::move(object)));
  return kept_object;
}

}  // namespace zsepa::cli

#endif  // ZSEPA_TOOLS_KEPT_UNTIL_EXIT_H_
