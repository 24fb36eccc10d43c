#include "key_rules.h"
#include "spell_checker.h"

PhoneticKey phonetic_key(char* word, char* key) {
  std::size_t length = 0;
  const auto append = [&](char c) {
    key[length++] = c;
    return true;
  };
  if (!walk_phonetic_key(word, append, append)) return nullptr;
  key[length] = '\0';
  return key;
}
