/* The chain database, embedded read-only. The build passes the path of the
   file as OPT5_CHAINS_FILE and reassembles this file whenever it changes. */
        .section .rodata.opt5_chains, "a"
        .balign 64
        .globl  opt5_chain_data
        .hidden opt5_chain_data
        .type   opt5_chain_data, @object
opt5_chain_data:
        .incbin OPT5_CHAINS_FILE
        .globl  opt5_chain_data_end
        .hidden opt5_chain_data_end
opt5_chain_data_end:
        .size   opt5_chain_data, opt5_chain_data_end - opt5_chain_data
        .section .note.GNU-stack, "", @progbits
