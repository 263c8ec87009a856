// The tree of losers that merges sorted sequences of slots (runs read back from the run file,
// or the sorted chunks of an in-memory sort): one comparison per level picks the next slot,
// the earlier sequence winning ties so that equal keys keep their arrival order.
#include <utility>

#include "driver/sql/sort_internal.h"

namespace {

const unsigned char* head_slot(const SortTournament& tournament, int64_t source) {
  const SortSource& at = tournament.sources[source];
  return at.slots + at.next * static_cast<size_t>(tournament.sort->slot_size);
}

// Whether sequence `a` beats `b`: its head orders first (the earlier sequence among equals);
// an exhausted sequence loses to every other, and the number `count` (the place-holder of a
// tree being built) beats every real one.
bool beats(const SortTournament& tournament, int64_t a, int64_t b) {
  if (a == tournament.count) return true;
  if (b == tournament.count) return false;
  if (tournament.sources[a].exhausted) return false;
  if (tournament.sources[b].exhausted) return true;
  int order =
      sort_compare_slots(tournament.sort, head_slot(tournament, a), head_slot(tournament, b));
  return order < 0 || (order == 0 && a < b);
}

}  // namespace

void sort_tournament_replay(SortTournament* tournament, int64_t source) {
  int64_t winner = source;
  for (int64_t node = (source + tournament->count) / 2; node > 0; node /= 2)
    if (beats(*tournament, tournament->losers[node], winner))
      std::swap(winner, tournament->losers[node]);
  tournament->losers[0] = winner;
}

void sort_tournament_start(SortTournament* tournament) {
  for (int64_t node = 0; node < tournament->count; ++node)
    tournament->losers[node] = tournament->count;
  for (int64_t source = tournament->count; source-- > 0;)
    sort_tournament_replay(tournament, source);
}
