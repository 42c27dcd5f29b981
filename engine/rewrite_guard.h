// Rewrites under way. From its first step until the file is whole again (the
// repaired content, or the original put back) an in-place rewrite must not be
// cut off by the end of the program: the file would be left half new, half
// old. Each rewrite holds a RewriteUnderWay for its whole length; the window
// asks RewritesUnderWay() before it lets the program or the user's session end,
// and holds back new rewrites once the end is decided.
#pragma once

namespace vx {

// Scoped: counts one rewrite for as long as it lives. When rewrites are held
// back, the constructor waits until they are allowed again, so a rewrite that
// had not begun never begins: the program ends with the file untouched.
class RewriteUnderWay {
 public:
  RewriteUnderWay();
  ~RewriteUnderWay();
  RewriteUnderWay(const RewriteUnderWay&) = delete;
  RewriteUnderWay& operator=(const RewriteUnderWay&) = delete;
};

// The number of rewrites between their first step and their end.
int RewritesUnderWay();

// The program is about to end: no rewrite begins from now on; the ones under
// way run to their end.
void HoldBackRewrites();
// Lets rewrites begin again, as at program start.
void AllowRewrites();

// Called on the rewriting thread whenever RewritesUnderWay() goes from 0 to 1
// or back to 0; the window uses it to hold back the end of the user's session
// for exactly as long as a rewrite lasts. Null for none.
void SetRewriteListener(void (*listener)());

}  // namespace vx
