// Results from the audio thread to the page without a message per block: a
// single-writer, single-reader ring of { time, frequency, confidence } in a
// SharedArrayBuffer. The processor writes into it from process() without
// allocating; the page reads what is new whenever it likes (once per frame,
// say). A reader that falls more than the ring's capacity behind loses the
// oldest entries and is told how many.
//
// Layout: a 32-bit count of entries ever written (wrapping), padding to 8
// bytes, then capacity entries of three 64-bit floats. The capacity is a
// power of two, so that the count's wrap keeps every slot's turn. The writer
// fills an entry, then publishes it by storing the count with Atomics (which
// orders the plain stores before it); the reader loads the count with Atomics
// and, after copying, loads it again to discard entries that the writer may
// have been overwriting meanwhile.

const HEADER_BYTES = 8;
const FIELDS = 3;
const MAX_CAPACITY = 1 << 20;

export class PitchRing {
  #count;
  #entries;
  #capacity;
  #read = 0;
  #dropped = 0;

  // new PitchRing(capacity) makes a ring of at least that many entries;
  // new PitchRing(ring.buffer) is the other side of an existing one.
  constructor(capacityOrBuffer = 256) {
    let buffer = capacityOrBuffer;
    if (typeof SharedArrayBuffer !== 'function') {
      throw new TypeError('PitchRing needs SharedArrayBuffer: serve the page cross-origin isolated');
    }
    if (typeof capacityOrBuffer === 'number') {
      if (!Number.isInteger(capacityOrBuffer) || capacityOrBuffer < 1 || capacityOrBuffer > MAX_CAPACITY) {
        throw new RangeError(`capacity must be a whole number from 1 to ${MAX_CAPACITY}, not ${capacityOrBuffer}`);
      }
      let capacity = 1;
      while (capacity < capacityOrBuffer) capacity *= 2;
      buffer = new SharedArrayBuffer(HEADER_BYTES + capacity * FIELDS * 8);
    } else {
      const entries = buffer instanceof SharedArrayBuffer ? (buffer.byteLength - HEADER_BYTES) / (FIELDS * 8) : 0;
      if (!Number.isInteger(entries) || entries < 1 || entries > MAX_CAPACITY || (entries & (entries - 1)) !== 0) {
        throw new TypeError("PitchRing takes a capacity or another PitchRing's buffer");
      }
    }
    this.#count = new Int32Array(buffer, 0, 1);
    this.#entries = new Float64Array(buffer, HEADER_BYTES);
    this.#capacity = this.#entries.length / FIELDS;
    // A new reader starts at what is already there.
    this.#read = Atomics.load(this.#count, 0) >>> 0;
  }

  /** The SharedArrayBuffer to hand to the other side. */
  get buffer() {
    return this.#count.buffer;
  }

  get capacity() {
    return this.#capacity;
  }

  /** Entries the reader lost by falling behind, since it was made. */
  get dropped() {
    return this.#dropped;
  }

  // The writer's side: allocates nothing.
  push(time, frequency, confidence) {
    const written = Atomics.load(this.#count, 0) >>> 0;
    const at = (written % this.#capacity) * FIELDS;
    this.#entries[at] = time;
    this.#entries[at + 1] = frequency;
    this.#entries[at + 2] = confidence;
    Atomics.store(this.#count, 0, (written + 1) | 0);
  }

  // The reader's side: the entries written since the last read, oldest
  // first.
  read() {
    const written = Atomics.load(this.#count, 0) >>> 0;
    let from = this.#read;
    let pending = (written - from) >>> 0;
    if (pending > this.#capacity) {
      this.#dropped += pending - this.#capacity;
      from = (written - this.#capacity) >>> 0;
      pending = this.#capacity;
    }
    const out = [];
    for (let k = 0; k < pending; ++k) {
      const at = (((from + k) >>> 0) % this.#capacity) * FIELDS;
      const e = this.#entries;
      out.push({ time: e[at], frequency: e[at + 1], confidence: e[at + 2] });
    }
    // The writer may have overwritten the oldest copies while they were
    // taken, and may be writing the slot after its count now.
    const after = Atomics.load(this.#count, 0) >>> 0;
    const overwritten = Math.min(pending, Math.max(0, ((after - from) >>> 0) + 1 - this.#capacity));
    this.#dropped += overwritten;
    this.#read = written;
    return out.slice(overwritten);
  }
}
