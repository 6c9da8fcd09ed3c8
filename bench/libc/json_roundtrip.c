/* Builds a large JSON document with cJSON (records of numbers, strings and flags), prints
   it and parses the text back, five times, and prints the length and a checksum so that
   both builds are seen to do the same work. Number printing and parsing (sprintf, strtod)
   and the heap carry most of the work. */
#include <cJSON.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kRecords = 40000, kRounds = 5 };

static cJSON *document(void) {
  cJSON *records = cJSON_CreateArray();
  unsigned long state = 7;
  for (int i = 0; i < kRecords; ++i) {
    state = state * 6364136223846793005UL + 1442695040888963407UL;
    cJSON *record = cJSON_CreateObject();
    char name[32];
    snprintf(name, sizeof name, "item-%d", i);
    cJSON_AddStringToObject(record, "name", name);
    cJSON_AddNumberToObject(record, "id", i);
    cJSON_AddNumberToObject(record, "price", (double)(state >> 40) / 1024.0);
    cJSON_AddNumberToObject(record, "ratio", 1.0 / (double)(i + 3));
    cJSON_AddBoolToObject(record, "active", (state >> 63) != 0);
    cJSON_AddItemToArray(records, record);
  }
  return records;
}

int main(void) {
  cJSON *records = document();
  size_t length = 0;
  double total = 0;
  for (int round = 0; round < kRounds; ++round) {
    char *text = cJSON_PrintUnformatted(records);
    if (!text) return 2;
    length = strlen(text);
    cJSON *parsed = cJSON_Parse(text);
    if (!parsed || cJSON_GetArraySize(parsed) != kRecords) return 3;
    const cJSON *record;
    cJSON_ArrayForEach(record, parsed) {
      total += cJSON_GetObjectItem(record, "price")->valuedouble +
               cJSON_GetObjectItem(record, "ratio")->valuedouble;
    }
    cJSON_Delete(parsed);
    free(text);
  }
  cJSON_Delete(records);
  printf("%zu characters, total %.6f\n", length, total);
  return 0;
}
