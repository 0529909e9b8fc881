/*
 * ref_walker: the least work a scanner has to do to total a folder tree, as a floor to measure
 * hollowmere-scan against. It lists each folder with getdents64 and stats every entry with
 * fstatat(AT_SYMLINK_NOFOLLOW); it builds no tree and keeps no names.
 *
 * It counts what hollowmere-scan counts: the allocated bytes (st_blocks x 512) of every entry
 * that is not a folder, a multiply-linked file once per (device, inode), links never followed,
 * folders on another device (mount points) not entered. Folders' own blocks are added up apart
 * (dir_bytes, the root's included) so that du's figure can be compared.
 *
 * Usage: ref_walker [-t THREADS] FOLDER   (-t 0: one thread per online core; default 1)
 * Prints one JSON object: path, total_bytes, dir_bytes, items, folders, restricted, threads.
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

enum { listing_buffer_size = 256 * 1024, max_threads = 1024 };

/* The head of a record getdents64 writes; the name starts at byte 19. */
struct linux_dirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
};
enum { dirent_name_offset = 19 };

static void *checked_malloc(size_t size) {
    void *p = malloc(size);
    if (!p) {
        fputs("ref_walker: out of memory\n", stderr);
        exit(2);
    }
    return p;
}

/* Hard-linked files seen so far: open addressing on (device, inode); inode 0 marks a free slot. */
struct link_key {
    uint64_t dev;
    uint64_t ino;
};

struct link_set {
    struct link_key *slots;
    size_t capacity; /* a power of two */
    size_t count;
};

static size_t link_hash(uint64_t dev, uint64_t ino) {
    uint64_t h = ino * 0x9e3779b97f4a7c15ull ^ (dev + 0x632be59bd9b4e019ull);
    h ^= h >> 31;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 29;
    return (size_t)h;
}

static void link_set_place(struct link_key *slots, size_t capacity, struct link_key key) {
    size_t i = link_hash(key.dev, key.ino) & (capacity - 1);
    while (slots[i].ino != 0) i = (i + 1) & (capacity - 1);
    slots[i] = key;
}

/* Returns 1 when (dev, ino) was not in the set yet. */
static int link_set_insert(struct link_set *set, uint64_t dev, uint64_t ino) {
    if (set->capacity == 0 || (set->count + 1) * 2 > set->capacity) {
        size_t capacity = set->capacity ? set->capacity * 2 : 1024;
        struct link_key *slots = checked_malloc(capacity * sizeof *slots);
        memset(slots, 0, capacity * sizeof *slots);
        for (size_t i = 0; i < set->capacity; ++i)
            if (set->slots[i].ino != 0) link_set_place(slots, capacity, set->slots[i]);
        free(set->slots);
        set->slots = slots;
        set->capacity = capacity;
    }
    size_t i = link_hash(dev, ino) & (set->capacity - 1);
    while (set->slots[i].ino != 0) {
        if (set->slots[i].ino == ino && set->slots[i].dev == dev) return 0;
        i = (i + 1) & (set->capacity - 1);
    }
    set->slots[i].dev = dev;
    set->slots[i].ino = ino;
    ++set->count;
    return 1;
}

/* Folders still to read, a stack shared by all threads, and the walk's shared state. */
struct walk {
    pthread_mutex_t lock;
    pthread_cond_t changed;
    char **stack;
    size_t count, capacity;
    int busy; /* threads holding a folder */

    pthread_mutex_t link_lock;
    struct link_set links;

    dev_t root_dev;
};

struct totals {
    uint64_t bytes, dir_bytes, items, folders, restricted;
};

struct worker {
    struct walk *walk;
    struct totals totals;
    pthread_t thread;
};

static void push_locked(struct walk *w, char *path) {
    if (w->count == w->capacity) {
        size_t capacity = w->capacity ? w->capacity * 2 : 1024;
        char **stack = realloc(w->stack, capacity * sizeof *stack);
        if (!stack) {
            fputs("ref_walker: out of memory\n", stderr);
            exit(2);
        }
        w->stack = stack;
        w->capacity = capacity;
    }
    w->stack[w->count++] = path;
}

/* The next folder, or NULL once the stack is empty and no thread can add to it. */
static char *take(struct walk *w) {
    pthread_mutex_lock(&w->lock);
    while (w->count == 0 && w->busy > 0) pthread_cond_wait(&w->changed, &w->lock);
    char *path = NULL;
    if (w->count > 0) {
        path = w->stack[--w->count];
        ++w->busy;
    } else {
        pthread_cond_broadcast(&w->changed);
    }
    pthread_mutex_unlock(&w->lock);
    return path;
}

/* Hands back a folder with the subfolders found in it. */
static void finish(struct walk *w, char **found, size_t found_count) {
    pthread_mutex_lock(&w->lock);
    for (size_t i = 0; i < found_count; ++i) push_locked(w, found[i]);
    --w->busy;
    if (found_count > 0 || w->busy == 0) pthread_cond_broadcast(&w->changed);
    pthread_mutex_unlock(&w->lock);
}

static char *join_path(const char *folder, size_t folder_length, const char *name) {
    size_t name_length = strlen(name);
    int root = folder_length == 1 && folder[0] == '/';
    size_t length = (root ? 0 : folder_length) + 1 + name_length;
    char *path = checked_malloc(length + 1);
    size_t at = 0;
    if (!root) {
        memcpy(path, folder, folder_length);
        at = folder_length;
    }
    path[at++] = '/';
    memcpy(path + at, name, name_length + 1);
    return path;
}

/* Lists one folder; returns 0, or the error number when it could not be opened or read. */
static int read_folder(struct worker *me, const char *path, char *buffer, char ***found, size_t *found_count,
                       size_t *found_capacity) {
    struct walk *w = me->walk;
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return errno;
    size_t path_length = strlen(path);
    for (;;) {
        long n = syscall(SYS_getdents64, fd, buffer, (size_t)listing_buffer_size);
        if (n == 0) break;
        if (n < 0) {
            int error = errno;
            close(fd);
            return error;
        }
        for (long offset = 0; offset < n;) {
            const struct linux_dirent64 *d = (const struct linux_dirent64 *)(buffer + offset);
            offset += d->d_reclen;
            const char *name = (const char *)d + dirent_name_offset;
            if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;

            ++me->totals.items;
            struct stat st;
            if (fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            uint64_t allocated = (uint64_t)st.st_blocks * 512u;
            if (S_ISDIR(st.st_mode)) {
                ++me->totals.folders;
                me->totals.dir_bytes += allocated;
                if (st.st_dev != w->root_dev) continue; /* a mount point: not entered */
                if (*found_count == *found_capacity) {
                    *found_capacity = *found_capacity ? *found_capacity * 2 : 64;
                    char **grown = realloc(*found, *found_capacity * sizeof **found);
                    if (!grown) {
                        fputs("ref_walker: out of memory\n", stderr);
                        exit(2);
                    }
                    *found = grown;
                }
                (*found)[(*found_count)++] = join_path(path, path_length, name);
            } else if (st.st_nlink > 1 && S_ISREG(st.st_mode)) {
                /* Only regular files share their data between names, as in the scanner. */
                pthread_mutex_lock(&w->link_lock);
                int first = link_set_insert(&w->links, (uint64_t)st.st_dev, (uint64_t)st.st_ino);
                pthread_mutex_unlock(&w->link_lock);
                if (first) me->totals.bytes += allocated;
            } else {
                me->totals.bytes += allocated;
            }
        }
    }
    close(fd);
    return 0;
}

static void *work(void *argument) {
    struct worker *me = argument;
    char *buffer = checked_malloc(listing_buffer_size);
    char **found = NULL;
    size_t found_capacity = 0;
    char *path;
    while ((path = take(me->walk)) != NULL) {
        size_t found_count = 0;
        int error = read_folder(me, path, buffer, &found, &found_count, &found_capacity);
        if (error != 0) {
            /* A folder that fails part-way enters none of its subfolders. */
            for (size_t i = 0; i < found_count; ++i) free(found[i]);
            found_count = 0;
            if (error != ENOENT) ++me->totals.restricted;
        }
        free(path);
        finish(me->walk, found, found_count);
    }
    free(found);
    free(buffer);
    return NULL;
}

static void print_json_string(const char *text) {
    putchar('"');
    for (const unsigned char *c = (const unsigned char *)text; *c; ++c) {
        if (*c == '"' || *c == '\\')
            printf("\\%c", *c);
        else if (*c < 0x20)
            printf("\\u%04x", *c);
        else
            putchar(*c);
    }
    putchar('"');
}

static void usage(void) {
    fputs("usage: ref_walker [-t THREADS] FOLDER\n", stderr);
    exit(64);
}

int main(int argc, char **argv) {
    long threads = 1;
    int option;
    while ((option = getopt(argc, argv, "t:")) != -1) {
        if (option != 't') usage();
        char *end;
        threads = strtol(optarg, &end, 10);
        if (*end != 0 || threads < 0 || threads > max_threads) usage();
    }
    if (optind + 1 != argc) usage();
    if (threads == 0) threads = sysconf(_SC_NPROCESSORS_ONLN);
    if (threads < 1) threads = 1;

    /* The root as given, without a trailing slash (but "/" stays "/"). */
    size_t root_length = strlen(argv[optind]);
    char *root = checked_malloc(root_length + 1);
    memcpy(root, argv[optind], root_length + 1);
    while (root_length > 1 && root[root_length - 1] == '/') root[--root_length] = 0;

    struct stat root_stat;
    if (lstat(root, &root_stat) != 0) {
        fprintf(stderr, "ref_walker: %s: %s\n", root, strerror(errno));
        return 1;
    }
    if (!S_ISDIR(root_stat.st_mode)) {
        fprintf(stderr, "ref_walker: %s: not a folder (links are not followed)\n", root);
        return 1;
    }

    struct walk w;
    memset(&w, 0, sizeof w);
    pthread_mutex_init(&w.lock, NULL);
    pthread_cond_init(&w.changed, NULL);
    pthread_mutex_init(&w.link_lock, NULL);
    w.root_dev = root_stat.st_dev;
    push_locked(&w, root);

    struct worker *workers = checked_malloc((size_t)threads * sizeof *workers);
    memset(workers, 0, (size_t)threads * sizeof *workers);
    for (long i = 0; i < threads; ++i) {
        workers[i].walk = &w;
        int error = pthread_create(&workers[i].thread, NULL, work, &workers[i]);
        if (error != 0) {
            fprintf(stderr, "ref_walker: cannot start a thread: %s\n", strerror(error));
            return 2;
        }
    }
    struct totals sum = {0, (uint64_t)root_stat.st_blocks * 512u, 0, 0, 0};
    for (long i = 0; i < threads; ++i) {
        pthread_join(workers[i].thread, NULL);
        sum.bytes += workers[i].totals.bytes;
        sum.dir_bytes += workers[i].totals.dir_bytes;
        sum.items += workers[i].totals.items;
        sum.folders += workers[i].totals.folders;
        sum.restricted += workers[i].totals.restricted;
    }

    fputs("{\"path\": ", stdout);
    print_json_string(argv[optind]);
    printf(", \"total_bytes\": %llu, \"dir_bytes\": %llu, \"items\": %llu, \"folders\": %llu, "
           "\"restricted\": %llu, \"threads\": %ld}\n",
           (unsigned long long)sum.bytes, (unsigned long long)sum.dir_bytes,
           (unsigned long long)sum.items, (unsigned long long)sum.folders, (unsigned long long)sum.restricted,
           threads);

    free(workers);
    free(w.stack);
    free(w.links.slots);
    pthread_mutex_destroy(&w.link_lock);
    pthread_cond_destroy(&w.changed);
    pthread_mutex_destroy(&w.lock);
    return 0;
}
