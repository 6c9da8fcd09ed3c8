/* Recurses until the stack runs out: the crash must still be reported. */
static int deeper(volatile char *previous) {
  volatile char frame[1024];
  frame[0] = previous ? previous[0] + 1 : 0;
  return deeper(frame) + frame[1];
}

int main(void) { return deeper(0); }
