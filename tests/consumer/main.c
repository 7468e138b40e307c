/* Calls the installed library once with a request it refuses at once, and checks the result. */
#include <quendal/card_trans.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char result[555];
  int rc;
  int i;
  memset(result, 0, sizeof result);
  rc = card_trans("1|R|wrong", result);
  for (i = 0; i < 555; ++i) {
    if (result[i] == '\0') return 3;
  }
  printf("card_trans returned %d\n", rc);
  return rc == 1 ? 0 : 2;
}
