/* Writes to an address that is never mapped. */
int main(void) {
  *(volatile int *)16 = 1;
  return 0;
}
