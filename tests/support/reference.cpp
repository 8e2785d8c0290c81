// Lookup of reference pairs by id.
#include "support/reference.h"

#include <cstdlib>
#include <cstring>
#include <iostream>

const reference::Pair& referencePair(const char* id) {
  for (const auto* table : {&reference::pairs(), &reference::classicPairs()})
    for (const reference::Pair& p : *table)
      if (std::strcmp(p.id, id) == 0) return p;
  std::cerr << "no reference pair named " << id << std::endl;
  std::abort();
}
