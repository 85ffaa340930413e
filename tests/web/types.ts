// Type-checked against the package's declarations: every name of its
// interface, used as the README shows.
import wavepitch, { PitchEstimate, PitchRing, Samples, TrackOptions, TrackResult, WavePitch } from 'wavepitch';

async function main(bytes: ArrayBuffer): Promise<number> {
  const api: WavePitch = await wavepitch();
  const { Tracker, neededSampleCount, track, memoryInUse } = api;
  const fromBytes = await wavepitch({ wasmBinary: bytes });
  const fromModule = await wavepitch({ wasmBinary: await WebAssembly.compile(bytes) });
  const window: number = neededSampleCount(130);
  const samples: Samples = new Float64Array(window);
  const tracker = new Tracker();
  let hz: number = tracker.compute(samples);
  hz += tracker.compute(new Float32Array(window), 0);
  hz += tracker.compute([0, 0.5, 0, -0.5], 0, 4);
  const last: number = tracker.lastPitch;
  const trust: number = tracker.confidence;
  tracker.reset();
  tracker.dispose();
  const options: TrackOptions = { sampleRate: 44100, window: 1024, hop: 256, channels: 2 };
  const result: TrackResult = track(new Float32Array(8192), options);
  const first: Float64Array = result.time;
  const other = new fromBytes.Tracker();
  other.dispose();
  const bytesInUse: number = memoryInUse() + fromModule.memoryInUse();
  const ring = new PitchRing(256);
  const reader = new PitchRing(ring.buffer);
  ring.push(0, 220, 0.2);
  const read: PitchEstimate[] = reader.read();
  const lost: number = reader.dropped + reader.capacity + read[0].frequency;
  return lost + hz + last + trust + first.length + result.frequency[0] + result.confidence[0] + bytesInUse;
}

// Misuse the declarations must refuse.
async function refused(): Promise<void> {
  const { Tracker, track } = await wavepitch();
  // @ts-expect-error strings are no samples
  new Tracker().compute('samples');
  // @ts-expect-error the rate is a number
  track([], { sampleRate: '44100' });
  const t = new Tracker();
  // @ts-expect-error lastPitch is read-only
  t.lastPitch = 1;
  // @ts-expect-error options are an object
  await wavepitch(44100);
  // @ts-expect-error a ring shares memory: no plain ArrayBuffer
  new PitchRing(new ArrayBuffer(32));
}

export { main, refused };
