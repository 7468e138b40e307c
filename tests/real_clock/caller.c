/* One call of card_trans with the request line given, as a business application makes it: prints
   the return value and the result's text, and succeeds only for an approval whose 555 bytes hold
   no zero byte and whose text starts with the expected one. */
#include <quendal/card_trans.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  char result[556];
  int rc;
  int i;
  if (argc != 3) {
    fprintf(stderr, "usage: caller \"<request line>\" <expected text>\n");
    return 2;
  }
  memset(result, 0, sizeof result);
  rc = card_trans(argv[1], result);
  for (i = 0; i < 555; ++i) {
    if (result[i] == '\0') {
      fprintf(stderr, "zero byte at %d of the result\n", i);
      return 3;
    }
  }
  result[555] = '\0';
  for (i = 554; i >= 0 && result[i] == ' '; --i) result[i] = '\0';
  printf("card_trans returned %d: \"%s\"\n", rc, result);
  return rc == 0 && strncmp(result, argv[2], strlen(argv[2])) == 0 ? 0 : 1;
}
