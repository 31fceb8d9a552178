/* Added to the linker's own script (INSERT): the unwind tables of the runtime's objects
   go nowhere. The image throws no exceptions and registers no unwind tables. */
SECTIONS { /DISCARD/ : { *(.eh_frame) } }
INSERT BEFORE .text;
