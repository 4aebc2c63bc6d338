/* Added to the default linker script of the 32-bit stub: DWARF unwind
   tables from prebuilt libraries (zlib) are dropped. Only an exception
   unwinder would read them, and the stub has no exceptions and does not
   link the start-up code that would register the tables with one. */
SECTIONS { /DISCARD/ : { *(.eh_frame) } } INSERT BEFORE .text;
