// String ids of the context-menu extensions (each library has its own string table).
#pragma once

#define IDS_MAIN_COMMAND 30    // Brisa: complete erase; Lunet: encrypt
#define IDS_SECOND_COMMAND 31  // Brisa: delete from shredder; Lunet: decrypt
